// Raising the Java exception that stands for a registry failure.
#include "registry/RegistryGuard.h"

#include "jnibridge/DiagnosticLog.h"
#include "jnibridge/JavaExceptions.h"

namespace {

const char kUnexpectedFailure[] =
    "An unexpected error occured in the native method Java_orvane_registry_WindowsRegistry_getRegistryValueString().\n";

} // namespace

void RegistryGuard::raise(JNIEnv* env, const char* className, const char* description) noexcept
{
    // A Java exception already pending (a failed JNI call) is the better report.
    if (env->ExceptionCheck()) {
        return;
    }
    jclass cls = env->FindClass(className);
    if (cls == nullptr) {
        return;
    }
    JNIBridge::DiagnosticLog::noteRaised(className, description);
    env->ThrowNew(cls, description);
}

void RegistryGuard::raiseUnexpected(JNIEnv* env) noexcept
{
    if (env->ExceptionCheck()) {
        return;
    }
    throwJavaException(env, "java/io/FileNotFoundException", kUnexpectedFailure);
}
