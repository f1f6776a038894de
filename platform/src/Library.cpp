// LoadLibraryA / GetProcAddress / FreeLibrary over the dynamic loader, and
// "ncrypt.dll" served from the stand-in's own CNG functions.
#include "platform/Win32.h"

#include "platform/src/Common.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

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

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (lpLibFileName == nullptr || lpLibFileName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Read on every call, as a machine without ncrypt.dll would answer.
    if (orv::platform::equalsIgnoreCase(lpLibFileName, "ncrypt.dll")) {
        const char* missing = std::getenv("ORV_WIN32_NO_NCRYPT");
        if (missing != nullptr && missing[0] != '\0') {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return ncryptModule();
    }
    void* handle = dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (hModule == nullptr || lpProcName == nullptr) {
        SetLastError(hModule == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Windows treats a "name" below 0x10000 as an ordinal; we have no ordinals.
    if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000u) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (hModule == ncryptModule()) {
        for (const Export& entry : kNcryptExports) {
            if (std::strcmp(entry.name, lpProcName) == 0) {
                return entry.address;
            }
        }
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(hModule, lpProcName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    if (hLibModule == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (hLibModule == ncryptModule()) {
        return TRUE;
    }
    if (dlclose(hLibModule) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE)
{
    return TRUE;
}

} // extern "C"
