// The registration table as data: each Java class with the natives bound to it.
// Each family defines its rows beside its entry functions.
#ifndef ORV_JNIBRIDGE_NATIVEMETHODTABLE_H
#define ORV_JNIBRIDGE_NATIVEMETHODTABLE_H

#include <cstddef>

namespace JNIBridge {

struct NativeMethodRow {
    const char* name;
    const char* signature;
    void* function;
};

struct NativeClassRows {
    const char* className;
    const NativeMethodRow* rows;
    std::size_t count;
};

// Entry functions are stdcall functions; JNI wants them as plain pointers.
template <typename Function>
void* entry(Function* function)
{
    return reinterpret_cast<void*>(function);
}

} // namespace JNIBridge

extern const JNIBridge::NativeClassRows windowsRegistryNatives;
extern const JNIBridge::NativeClassRows capiTokenNatives;
extern const JNIBridge::NativeClassRows pkcs11ModuleNatives;
extern const JNIBridge::NativeClassRows pkcs11SlotNatives;
extern const JNIBridge::NativeClassRows incomingNativeUtilsNatives;

#endif
