// Asking the Java accessibility bridge's status window to quit.
#include "accessibility/AccessibilityShutdown.h"

#include "common/Win32CallLog.h"
#include "platform/Win32.h"

namespace {

const char kStatusWindowTitle[] = "Access Bridge status";

} // namespace

// IncomingNativeUtils.jniShutdownNativeAccessibility(): void
// ()V, static
// no arguments
//
// Two Win32 calls that report failure by result only; nothing here throws,
// and a failed post is of no interest to the caller.
void JNICALL IncomingNativeUtils_jniShutdownNativeAccessibility(JNIEnv*, jclass)
{
    const HWND window = Common::Win32CallLog::call("FindWindowA", FindWindowA(nullptr, kStatusWindowTitle));
    if (window == nullptr) {
        return;
    }
    Common::Win32CallLog::call("PostMessageA", PostMessageA(window, WM_QUIT, 0, 0));
}
