// Load hook of the test library: records the VM as the real library does and
// binds the WrapperProbe natives.
#include "jnibridge/JNIHelper.h"

#include <jni.h>

void registerWrapperProbe(JNIEnv* env);

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/)
{
    void* env = nullptr;
    if (vm->GetEnv(&env, JNI_VERSION_1_4) != JNI_OK || env == nullptr) {
        return JNI_ERR;
    }
    JNIHelper::setJavaVM(vm);
    registerWrapperProbe(static_cast<JNIEnv*>(env));
    return JNI_VERSION_1_4;
}
