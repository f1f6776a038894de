// Natives of orvane/common/utils/IncomingNativeUtils.
#include "accessibility/AccessibilityShutdown.h"
#include "jnibridge/NativeMethodTable.h"

namespace {

const JNIBridge::NativeMethodRow rows[] = {
    {"jniShutdownNativeAccessibility", "()V", JNIBridge::entry<&IncomingNativeUtils_jniShutdownNativeAccessibility>()},
};

} // namespace

const JNIBridge::NativeClassRows incomingNativeUtilsNatives = {"orvane/common/utils/IncomingNativeUtils", rows,
                                                               sizeof rows / sizeof rows[0]};
