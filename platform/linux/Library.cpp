// LoadLibraryA / GetProcAddress / FreeLibrary of the shipped Linux layer: shared
// objects load; Windows DLLs (ncrypt.dll among them) are missing, as on a
// machine without them.
#include "platform/linux/DynamicLoader.h"
#include "platform/linux/Failure.h"

#include <cctype>
#include <cstring>

namespace {

bool namesWindowsDll(const char* file)
{
    const std::size_t length = std::strlen(file);
    const char suffix[] = ".dll";
    if (length < sizeof suffix - 1) {
        return false;
    }
    const char* tail = file + length - (sizeof suffix - 1);
    for (std::size_t i = 0; suffix[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

using namespace orv::platform;

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    // Never handed to dlopen: a file of that name here would not be Windows' DLL.
    if (lpLibFileName != nullptr && namesWindowsDll(lpLibFileName)) {
        return failNull<HINSTANCE__>(ERROR_MOD_NOT_FOUND);
    }
    return loadSharedObject(lpLibFileName);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    return findSymbol(hModule, lpProcName);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    return closeSharedObject(hLibModule);
}

} // extern "C"
