// The registration table as data: each Java class with the natives bound to it.
// Each family defines its rows beside its entry functions.
#ifndef ORV_JNIBRIDGE_NATIVEMETHODTABLE_H
#define ORV_JNIBRIDGE_NATIVEMETHODTABLE_H

#include "jnibridge/LoggedNative.h"

#include <cstddef>

namespace JNIBridge {

// An entry function and its logged twin, with the name the twin logs under.
struct NativeEntry {
    void* function;
    void* logged;
    NativeName* name;
};

struct NativeMethodRow {
    const char* name;
    const char* signature;
    NativeEntry entry;
};

struct NativeClassRows {
    const char* className;
    const NativeMethodRow* rows;
    std::size_t count;
};

template <auto function, NativeText text, class R, class Self, class... A>
NativeEntry entryOf(R(JNICALL*)(JNIEnv*, Self, A...))
{
    using Logged = LoggedNative<function, text, R, Self, A...>;
    // Entry functions are stdcall functions; JNI wants them as plain pointers.
    return {reinterpret_cast<void*>(function), reinterpret_cast<void*>(&Logged::call), &Logged::name};
}

// String arguments stay out of the log unless the row says they may show.
template <auto function, NativeText text = NativeText::hidden>
NativeEntry entry()
{
    return entryOf<function, text>(function);
}

} // namespace JNIBridge

extern const JNIBridge::NativeClassRows windowsRegistryNatives;
extern const JNIBridge::NativeClassRows capiTokenNatives;
extern const JNIBridge::NativeClassRows pkcs11ModuleNatives;
extern const JNIBridge::NativeClassRows pkcs11SlotNatives;
extern const JNIBridge::NativeClassRows incomingNativeUtilsNatives;

#endif
