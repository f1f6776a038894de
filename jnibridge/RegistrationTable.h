// Binds every native of the library to its Java class.
#ifndef ORV_JNIBRIDGE_REGISTRATIONTABLE_H
#define ORV_JNIBRIDGE_REGISTRATIONTABLE_H

#include "jnibridge/NativeMethodTable.h"

#include <jni.h>

namespace JNIBridge {

class RegistrationTable {
public:
    // Registers the rows of one class, one RegisterNatives call per row so a
    // failed binding does not stop the others. A class that cannot be found
    // has its rows skipped and its NoClassDefFoundError cleared.
    static void registerClass(JNIEnv* env, const NativeClassRows& rows);

    // The classes whose natives are bound before the VM is recorded, and after.
    static const NativeClassRows* const kBeforeVM[];
    static const std::size_t kBeforeVMCount;
    static const NativeClassRows* const kAfterVM[];
    static const std::size_t kAfterVMCount;
};

} // namespace JNIBridge

#endif
