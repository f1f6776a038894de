// The natives of orvane/common/utils/IncomingNativeUtils in registration order, each
// written only here. A row: Java name, JNI signature, entry function, whether
// the diagnostic log may show its string arguments, and the decorated names
// the DLL exports it under on x86 and x64 (empty where it exports none).
#ifndef ORV_ACCESSIBILITY_INCOMINGNATIVEUTILSTABLE_H
#define ORV_ACCESSIBILITY_INCOMINGNATIVEUTILSTABLE_H

#define ORV_INCOMING_NATIVE_UTILS_CLASS "orvane/common/utils/IncomingNativeUtils"

// clang-format off
#define ORV_INCOMING_NATIVE_UTILS_NATIVES(ROW) \
    ROW(jniShutdownNativeAccessibility, "()V", IncomingNativeUtils_jniShutdownNativeAccessibility, hidden, , )
// clang-format on

#endif
