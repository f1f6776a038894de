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
    for (std::size_t i = 0; i < RegistrationTable::beforeVMCount; ++i) {
        RegistrationTable::registerClass(jni, *RegistrationTable::beforeVM[i]);
    }
    JNIHelper::setJavaVM(vm);
    for (std::size_t i = 0; i < RegistrationTable::afterVMCount; ++i) {
        RegistrationTable::registerClass(jni, *RegistrationTable::afterVM[i]);
    }
    return JNI_VERSION_1_4;
}
