// Natives of orvane/common/utils/IncomingNativeUtils; rows join as their entry functions land.
#include "jnibridge/NativeMethodTable.h"

const JNIBridge::NativeClassRows incomingNativeUtilsNatives = {"orvane/common/utils/IncomingNativeUtils", nullptr, 0};
