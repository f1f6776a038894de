// The lines of Win32 calls in the diagnostic log.
#include "common/Win32CallLog.h"

#include <cstdio>
#include <string>

namespace Common {

namespace {

std::string hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

} // namespace

// Writing the line may itself set the last error, so it is put back after.
void Win32CallLog::write(const char* name, bool succeeded) noexcept
{
    const DWORD lastError = GetLastError();
    try {
        std::string line = std::string("win32 ") + name + " = ";
        line.append(succeeded ? "ok" : "failed, last error " + hex(lastError));
        JNIBridge::DiagnosticLog::write(line);
    } catch (...) {
    }
    SetLastError(lastError);
}

void Win32CallLog::writeStatus(const char* name, LONG status) noexcept
{
    const DWORD lastError = GetLastError();
    try {
        JNIBridge::DiagnosticLog::write(
            std::string("win32 ") + name + " = " +
            (status == 0 ? std::string("ok") : "status " + hex(static_cast<DWORD>(status))));
    } catch (...) {
    }
    SetLastError(lastError);
}

} // namespace Common
