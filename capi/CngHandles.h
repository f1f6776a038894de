// Owning wrapper for CNG provider and key handles (both NCRYPT_HANDLE).
#ifndef ORV_CAPI_CNGHANDLES_H
#define ORV_CAPI_CNGHANDLES_H

#include "capi/NcryptFunctions.h"
#include "common/ScopedHandle.h"
#include "common/Win32CallLog.h"

namespace CAPIBridge {

struct NCryptObjectTraits {
    using Handle = NCRYPT_HANDLE;
    static Handle empty() noexcept { return 0; }
    // CNG returns its status; it is handed on the Win32 way, so a failed
    // release reads like the CryptoAPI ones.
    static BOOL close(Handle h) noexcept
    {
        // Only CNG itself hands out handles, so its functions are there.
        const SECURITY_STATUS status =
            Common::Win32CallLog::status("NCryptFreeObject", NcryptFunctions::get().freeObject(h));
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return FALSE;
        }
        return TRUE;
    }
};

using NCryptObject = Common::ScopedHandle<NCryptObjectTraits>;

} // namespace CAPIBridge

#endif
