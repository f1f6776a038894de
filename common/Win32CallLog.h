// Win32 calls of the CryptoAPI (CNG's NCrypt functions included), registry
// and accessibility bridges in the diagnostic log:
// wrapped around a call, it hands the call's result back unchanged and, with
// the log on, writes the call's name and, when it failed, its last error.
// The thread's last error is what the call left, log or not.
//
//   if (!Win32CallLog::call("CryptAcquireContextA", CryptAcquireContextA(...))) { ... GetLastError() ... }
//   const LSTATUS status = Win32CallLog::status("RegOpenKeyExA", RegOpenKeyExA(...));
#ifndef ORV_COMMON_WIN32CALLLOG_H
#define ORV_COMMON_WIN32CALLLOG_H

#include "jnibridge/DiagnosticLog.h"
#include "platform/Win32.h"

#include <type_traits>

namespace Common {

class Win32CallLog {
public:
    // A BOOL, a count or a handle: zero or null is a failure.
    template <class Result>
    static Result call(const char* name, Result result) noexcept
    {
        if (JNIBridge::DiagnosticLog::enabled()) {
            if constexpr (std::is_pointer_v<Result>) {
                write(name, result != nullptr);
            } else {
                write(name, result != 0);
            }
        }
        return result;
    }

    // A call that answers with an error code (registry, NCrypt): 0 succeeds.
    static LONG status(const char* name, LONG status) noexcept
    {
        if (JNIBridge::DiagnosticLog::enabled()) {
            writeStatus(name, status);
        }
        return status;
    }

private:
    static void write(const char* name, bool succeeded) noexcept;
    static void writeStatus(const char* name, LONG status) noexcept;
};

} // namespace Common

#endif
