// LoadLibraryA / GetProcAddress / FreeLibrary over the dynamic loader, and
// "ncrypt.dll" served from the stand-in's own CNG functions.
#include "platform/Win32.h"

#include "platform/linux/DynamicLoader.h"
#include "tests/standin/Common.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Export {
    const char* name;
    FARPROC address;
};

template <typename Function>
FARPROC exported(Function* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

const Export kNcryptExports[] = {
    {"NCryptOpenStorageProvider", exported(&NCryptOpenStorageProvider)},
    {"NCryptOpenKey", exported(&NCryptOpenKey)},
    {"NCryptImportKey", exported(&NCryptImportKey)},
    {"NCryptGetProperty", exported(&NCryptGetProperty)},
    {"NCryptSignHash", exported(&NCryptSignHash)},
    {"NCryptEncrypt", exported(&NCryptEncrypt)},
    {"NCryptDecrypt", exported(&NCryptDecrypt)},
    {"NCryptFreeObject", exported(&NCryptFreeObject)},
};

// The module handle of the stand-in's ncrypt.dll; no loader handle is ever it.
HMODULE ncryptModule()
{
    static char module;
    return reinterpret_cast<HMODULE>(&module);
}

} // namespace

using namespace orv::platform;

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (lpLibFileName == nullptr || lpLibFileName[0] == '\0') {
        return loadSharedObject(lpLibFileName);
    }
    // Read on every call, as a machine without ncrypt.dll would answer.
    if (equalsIgnoreCase(lpLibFileName, "ncrypt.dll")) {
        const char* missing = std::getenv("ORV_WIN32_NO_NCRYPT");
        if (missing != nullptr && missing[0] != '\0') {
            return failNull<HINSTANCE__>(ERROR_MOD_NOT_FOUND);
        }
        return ncryptModule();
    }
    return loadSharedObject(lpLibFileName);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (hModule == ncryptModule() && reinterpret_cast<uintptr_t>(lpProcName) >= 0x10000u) {
        for (const Export& entry : kNcryptExports) {
            if (std::strcmp(entry.name, lpProcName) == 0) {
                return entry.address;
            }
        }
        return reinterpret_cast<FARPROC>(failNull<void>(ERROR_PROC_NOT_FOUND));
    }
    return findSymbol(hModule, lpProcName);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    if (hLibModule == ncryptModule()) {
        return TRUE;
    }
    return closeSharedObject(hLibModule);
}

} // extern "C"
