// How a failed Windows call becomes a result code, and which failures count
// as the user refusing the private key.
#ifndef ORV_CAPI_LASTERROR_H
#define ORV_CAPI_LASTERROR_H

#include "capi/ResultCodes.h"
#include "platform/Win32.h"

#include <cstdint>

namespace LastError {

// GetLastError as a signed 32-bit code; -998 when the call left it at 0.
inline std::int32_t code(DWORD error) noexcept
{
    return error == 0 ? ResultCode::kNoErrorReported : static_cast<std::int32_t>(error);
}

inline std::int32_t code() noexcept { return code(GetLastError()); }

enum class Cancellation { KeyUse, SignatureOutput };

// Providers report a refused PIN prompt or an unusable key with these; the
// call that produces a signature may also report the cancel itself.
inline bool isCancellation(DWORD error, Cancellation kind) noexcept
{
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

#endif
