// dlopen/dlsym/dlclose with Windows' argument checks and error codes.
#include "platform/linux/DynamicLoader.h"

#include "platform/linux/Failure.h"

#include <cstdint>
#include <dlfcn.h>

namespace orv::platform {

HMODULE loadSharedObject(LPCSTR file)
{
    if (file == nullptr || file[0] == '\0') {
        return failNull<HINSTANCE__>(ERROR_INVALID_PARAMETER);
    }
    void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return failNull<HINSTANCE__>(ERROR_MOD_NOT_FOUND);
    }
    return static_cast<HMODULE>(handle);
}

FARPROC findSymbol(HMODULE module, LPCSTR name)
{
    if (module == nullptr) {
        return reinterpret_cast<FARPROC>(failNull<void>(ERROR_INVALID_HANDLE));
    }
    if (name == nullptr) {
        return reinterpret_cast<FARPROC>(failNull<void>(ERROR_INVALID_PARAMETER));
    }
    // Windows takes a "name" below 0x10000 as an ordinal; shared objects have none.
    if (reinterpret_cast<std::uintptr_t>(name) < 0x10000u) {
        return reinterpret_cast<FARPROC>(failNull<void>(ERROR_PROC_NOT_FOUND));
    }
    dlerror();
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        return reinterpret_cast<FARPROC>(failNull<void>(ERROR_PROC_NOT_FOUND));
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL closeSharedObject(HMODULE module)
{
    if (module == nullptr || dlclose(module) != 0) {
        return fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

} // namespace orv::platform

extern "C" {

BOOL WINAPI DisableThreadLibraryCalls(HMODULE)
{
    return TRUE;
}

} // extern "C"
