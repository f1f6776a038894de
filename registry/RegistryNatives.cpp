// Natives of orvane/common/utils/WindowsRegistry; rows join as their entry functions land.
#include "jnibridge/NativeMethodTable.h"

const JNIBridge::NativeClassRows windowsRegistryNatives = {"orvane/common/utils/WindowsRegistry", nullptr, 0};
