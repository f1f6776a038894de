// Natives of orvane/common/utils/WindowsRegistry, in registration order.
#include "jnibridge/NativeMethodTable.h"
#include "registry/Registry.h"

namespace {

const JNIBridge::NativeMethodRow rows[] = {
    {"getRegistryKeyName", "(ILjava/lang/String;I)Ljava/lang/String;",
     JNIBridge::entry<&Registry::getKeyName, JNIBridge::NativeText::shown>()},
    {"getRegistryValueName", "(ILjava/lang/String;I)Ljava/lang/String;",
     JNIBridge::entry<&Registry::getValueName, JNIBridge::NativeText::shown>()},
    {"getRegistryValueString", "(ILjava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
     JNIBridge::entry<&Registry::getValueString, JNIBridge::NativeText::shown>()},
};

} // namespace

const JNIBridge::NativeClassRows windowsRegistryNatives = {"orvane/common/utils/WindowsRegistry", rows,
                                                           sizeof rows / sizeof rows[0]};
