// The classes whose natives the load hook binds, in order, and the binding of one class.
#include "jnibridge/RegistrationTable.h"

namespace JNIBridge {

const NativeClassRows* const RegistrationTable::kBeforeVM[] = {
    &windowsRegistryNatives,
    &capiTokenNatives,
};
const std::size_t RegistrationTable::kBeforeVMCount = sizeof kBeforeVM / sizeof kBeforeVM[0];

const NativeClassRows* const RegistrationTable::kAfterVM[] = {
    &pkcs11ModuleNatives,
    &pkcs11SlotNatives,
    &incomingNativeUtilsNatives,
};
const std::size_t RegistrationTable::kAfterVMCount = sizeof kAfterVM / sizeof kAfterVM[0];

void RegistrationTable::registerClass(JNIEnv* env, const NativeClassRows& rows)
{
    jclass cls = env->FindClass(rows.className);
    if (cls == nullptr) {
        env->ExceptionClear();
        return;
    }
    for (std::size_t i = 0; i < rows.count; ++i) {
        JNINativeMethod method;
        method.name = const_cast<char*>(rows.rows[i].name);
        method.signature = const_cast<char*>(rows.rows[i].signature);
        method.fnPtr = rows.rows[i].function;
        if (env->RegisterNatives(cls, &method, 1) != JNI_OK) {
            // A Java class without this method: the remaining rows still bind.
            env->ExceptionClear();
        }
    }
    env->DeleteLocalRef(cls);
}

} // namespace JNIBridge
