// How a failed Windows call becomes a result code, and which failures count
// as the user refusing the private key.
#ifndef ORV_CAPI_LASTERROR_H
#define ORV_CAPI_LASTERROR_H

#include "capi/ResultCodes.h"
#include "platform/Win32.h"

#include <cstdint>

namespace CAPIBridge {

namespace LastError {

// GetLastError as a signed 32-bit code; -998 when the call left it at 0.
inline std::int32_t code(DWORD error) noexcept
{
    return error == 0 ? ResultCode::kNoErrorReported : static_cast<std::int32_t>(error);
}

inline std::int32_t code() noexcept
{
    return code(GetLastError());
}

// KeyStorage: a signature or decryption through a key storage provider.
enum class Cancellation { KeyUse, SignatureOutput, KeyStorage };

// What CNG and the smart card stack answer when the user cancels a PIN or
// card prompt, as Win32 error or HRESULT.
inline bool isUserCancel(DWORD error) noexcept
{
    constexpr DWORD kCancelledHresult = 0x80070000u | ERROR_CANCELLED;
    switch (error) {
    case ERROR_CANCELLED:
    case kCancelledHresult:
    case static_cast<DWORD>(SCARD_W_CANCELLED_BY_USER):
    case static_cast<DWORD>(NTE_USER_CANCELLED):
        return true;
    default:
        return false;
    }
}

// Providers report a refused PIN prompt or an unusable key with these; the
// call that produces a signature may also report the cancel itself, and a
// key storage provider's cancel answers are unambiguous wherever they come.
inline bool isCancellation(DWORD error, Cancellation kind) noexcept
{
    if (kind == Cancellation::KeyStorage && isUserCancel(error)) {
        return true;
    }
    switch (static_cast<std::int32_t>(error)) {
    case 0:
    case static_cast<std::int32_t>(NTE_FAIL):
    case static_cast<std::int32_t>(NTE_NO_KEY):
    case static_cast<std::int32_t>(NTE_BAD_KEYSET):
        return true;
    case static_cast<std::int32_t>(ERROR_CANCELLED):
        return kind == Cancellation::SignatureOutput;
    default:
        return false;
    }
}

} // namespace LastError

} // namespace CAPIBridge

#endif
