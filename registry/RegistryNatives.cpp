// Natives of orvane/common/utils/WindowsRegistry, in registration order.
#include "jnibridge/NativeMethodTable.h"
#include "registry/WindowsRegistryTable.h"
#include "registry/Registry.h"

namespace {

const JNIBridge::NativeMethodRow rows[] = {ORV_WINDOWS_REGISTRY_NATIVES(ORV_REGISTRATION_ROW)};

} // namespace

const JNIBridge::NativeClassRows windowsRegistryNatives = {ORV_WINDOWS_REGISTRY_CLASS, rows,
                                                           sizeof rows / sizeof rows[0]};
