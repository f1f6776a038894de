// The registration table as data: each Java class with the natives bound to it.
// Each class's natives are written once, in its table header (for example
// pkcs11bridge/PKCS11SlotTable.h); its family expands the table into rows
// with ORV_REGISTRATION_ROW beside its entry functions.
#ifndef ORV_JNIBRIDGE_NATIVEMETHODTABLE_H
#define ORV_JNIBRIDGE_NATIVEMETHODTABLE_H

#include "jnibridge/LoggedNative.h"
#include "jnibridge/NativeSignature.h"

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

template <auto function, NativeText text, bool signatureMatches>
NativeEntry checkedEntry()
{
    static_assert(signatureMatches, "the row's JNI signature does not match its entry function's C++ types");
    return entry<function, text>();
}

} // namespace JNIBridge

// One row of a class table (Java name, JNI signature, entry function, whether
// the log may show its strings, exported x86 and x64 names) as a registration
// row; a signature that disagrees with the entry function fails the build.
#define ORV_REGISTRATION_ROW(javaName, signature, function, text, x86, x64)                                            \
    {#javaName, signature,                                                                                             \
     JNIBridge::checkedEntry<&function, JNIBridge::NativeText::text,                                                   \
                             JNIBridge::NativeSignature::matches(&function, signature)>()},

extern const JNIBridge::NativeClassRows windowsRegistryNatives;
extern const JNIBridge::NativeClassRows capiTokenNatives;
extern const JNIBridge::NativeClassRows pkcs11ModuleNatives;
extern const JNIBridge::NativeClassRows pkcs11SlotNatives;
extern const JNIBridge::NativeClassRows incomingNativeUtilsNatives;

#endif
