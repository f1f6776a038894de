// Natives of orvane/common/utils/IncomingNativeUtils.
#include "accessibility/AccessibilityShutdown.h"
#include "jnibridge/NativeMethodTable.h"
#include "accessibility/IncomingNativeUtilsTable.h"

namespace {

const JNIBridge::NativeMethodRow rows[] = {ORV_INCOMING_NATIVE_UTILS_NATIVES(ORV_REGISTRATION_ROW)};

} // namespace

const JNIBridge::NativeClassRows incomingNativeUtilsNatives = {ORV_INCOMING_NATIVE_UTILS_CLASS, rows,
                                                               sizeof rows / sizeof rows[0]};
