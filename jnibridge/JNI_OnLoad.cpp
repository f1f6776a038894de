// The library's load hook: records the VM and binds every native.
#include "jnibridge/JNIHelper.h"
#include "jnibridge/RegistrationTable.h"

#include <jni.h>

using JNIBridge::RegistrationTable;

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/)
{
    void* env = nullptr;
    if (vm == nullptr || vm->GetEnv(&env, JNI_VERSION_1_4) != JNI_OK || env == nullptr) {
        return JNI_ERR;
    }
    JNIEnv* jni = static_cast<JNIEnv*>(env);
    for (std::size_t i = 0; i < RegistrationTable::kBeforeVMCount; ++i) {
        RegistrationTable::registerClass(jni, *RegistrationTable::kBeforeVM[i]);
    }
    JNIHelper::setJavaVM(vm);
    for (std::size_t i = 0; i < RegistrationTable::kAfterVMCount; ++i) {
        RegistrationTable::registerClass(jni, *RegistrationTable::kAfterVM[i]);
    }
    return JNI_VERSION_1_4;
}
