// The VM recorded at load time, and the JNIEnv of whichever thread calls.
#include "jnibridge/JNIHelper.h"

#include "jnibridge/JNIException.h"

#include <atomic>

namespace {
// The process-wide VM slot: written by the load hook, read by every native.
std::atomic<JavaVM*> javaVM{nullptr};
} // namespace

void JNIHelper::setJavaVM(JavaVM* vm) noexcept
{
    javaVM.store(vm);
}

JavaVM* JNIHelper::getJavaVM()
{
    JavaVM* vm = javaVM.load();
    if (vm == nullptr) {
        throw JNIBridge::JNIException("JNIHelper::getJavaVM() - There is no attached JVM");
    }
    return vm;
}

JNIEnv* JNIHelper::attachCurrentThread()
{
    JavaVM* vm = getJavaVM();
    void* env = nullptr;
    if (vm->AttachCurrentThread(&env, nullptr) != JNI_OK || env == nullptr) {
        throw JNIBridge::JNIException("JNIHelper::attachCurrentThread() - Unable to attach current thread.");
    }
    return static_cast<JNIEnv*>(env);
}
