// The CNG key storage functions the bridge calls, found in ncrypt.dll on first
// use instead of imported: the library loads where ncrypt.dll is missing, and
// only keys a key storage provider holds need it.
#ifndef ORV_CAPI_NCRYPTFUNCTIONS_H
#define ORV_CAPI_NCRYPTFUNCTIONS_H

#include "platform/Win32.h"

#include <type_traits>

namespace CAPIBridge {

struct NcryptFunctions {
    decltype(&NCryptOpenStorageProvider) openStorageProvider = nullptr;
    decltype(&NCryptOpenKey) openKey = nullptr;
    decltype(&NCryptGetProperty) getProperty = nullptr;
    decltype(&NCryptSignHash) signHash = nullptr;
    decltype(&NCryptDecrypt) decrypt = nullptr;
    decltype(&NCryptFreeObject) freeObject = nullptr;
    // 0 when every function was found, else the error of the LoadLibraryA or
    // GetProcAddress that failed; the functions are then all null.
    DWORD missing = 0;

    // Bound once per process, by whichever thread comes first.
    static const NcryptFunctions& get()
    {
        static const NcryptFunctions kBound = bind();
        return kBound;
    }

private:
    static NcryptFunctions bind()
    {
        NcryptFunctions functions;
        // Never freed: the functions stay in use until the process ends.
        const HMODULE module = LoadLibraryA("ncrypt.dll");
        if (module == nullptr) {
            functions.missing = failure(ERROR_MOD_NOT_FOUND);
            return functions;
        }
        const auto find = [&](auto& function, const char* name) {
            const FARPROC address = GetProcAddress(module, name);
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(reinterpret_cast<void*>(address));
            if (address == nullptr && functions.missing == 0) {
                functions.missing = failure(ERROR_PROC_NOT_FOUND);
            }
        };
        find(functions.openStorageProvider, "NCryptOpenStorageProvider");
        find(functions.openKey, "NCryptOpenKey");
        find(functions.getProperty, "NCryptGetProperty");
        find(functions.signHash, "NCryptSignHash");
        find(functions.decrypt, "NCryptDecrypt");
        find(functions.freeObject, "NCryptFreeObject");
        if (functions.missing == 0) {
            return functions;
        }
        FreeLibrary(module);
        NcryptFunctions none;
        none.missing = functions.missing;
        return none;
    }

    static DWORD failure(DWORD fallback)
    {
        const DWORD error = GetLastError();
        return error != 0 ? error : fallback;
    }
};

} // namespace CAPIBridge

#endif
