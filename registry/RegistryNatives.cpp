// Natives of orvane/common/utils/WindowsRegistry, in registration order.
#include "jnibridge/NativeMethodTable.h"
#include "registry/Registry.h"

namespace {

const JNIBridge::NativeMethodRow rows[] = {
    {"getRegistryKeyName", "(ILjava/lang/String;I)Ljava/lang/String;", JNIBridge::entry(&Registry::getKeyName)},
    {"getRegistryValueName", "(ILjava/lang/String;I)Ljava/lang/String;", JNIBridge::entry(&Registry::getValueName)},
    {"getRegistryValueString", "(ILjava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
     JNIBridge::entry(&Registry::getValueString)},
};

} // namespace

const JNIBridge::NativeClassRows windowsRegistryNatives = {"orvane/common/utils/WindowsRegistry", rows,
                                                           sizeof rows / sizeof rows[0]};
