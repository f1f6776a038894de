// Java exceptions raised for the library's failures, and pending ones turned into JNIException.
#include "jnibridge/JavaExceptions.h"

#include "jnibridge/DiagnosticLog.h"
#include "jnibridge/JClass.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JThrowable.h"
#include "jnibridge/LocalRef.h"
#include "jnibridge/String.h"

#include <cstdio>
#include <string>

namespace JNIBridge {

namespace {

void reportUnraised(const char* message)
{
    std::fprintf(stderr, "Could not throw the exception: %s\n", message == nullptr ? "" : message);
}

// ThrowNew with a class that is no Throwable aborts a checking VM and
// corrupts an unchecking one; such a request is reported and refused.
bool raisedAsRefusal(JNIEnv* env, jclass cls, const char* className, const char* message)
{
    jclass throwable = env->FindClass("java/lang/Throwable");
    const bool isThrowable = throwable != nullptr && env->IsAssignableFrom(cls, throwable);
    if (throwable != nullptr) {
        env->DeleteLocalRef(throwable);
    }
    if (isThrowable || env->ExceptionCheck()) {
        return env->ExceptionCheck() == JNI_TRUE;
    }
    reportUnraised(message);
    jclass refusal = env->FindClass("java/lang/IllegalArgumentException");
    if (refusal != nullptr) {
        const std::string text = std::string(className) + " is not a Throwable";
        env->ThrowNew(refusal, text.c_str());
        env->DeleteLocalRef(refusal);
    }
    return true;
}

} // namespace

void throwJavaException(JNIEnv* env, const char* className, const char* message)
{
    // Deleted on the way out: a native that raises keeps no local reference.
    const LocalRef<jclass> cls(env, env->FindClass(className));
    if (!cls) {
        reportUnraised(message);
        return;
    }
    if (raisedAsRefusal(env, cls.get(), className, message)) {
        return;
    }
    JNIBridge::DiagnosticLog::noteRaised(className, message);
    env->ThrowNew(cls.get(), message);
}

void throwUnlessPending(JNIEnv* env, const char* className, const char* message)
{
    if (!env->ExceptionCheck()) {
        throwJavaException(env, className, message);
    }
}

namespace {

// Set while a throwable's toString() runs: a Java exception raised inside it
// is reported without calling toString() again, so a throwable whose
// toString() keeps failing cannot recurse without end.
thread_local bool convertingThrowable = false;

class ConversionScope {
public:
    ConversionScope() noexcept { convertingThrowable = true; }
    ~ConversionScope() { convertingThrowable = false; }
    ConversionScope(const ConversionScope&) = delete;
    ConversionScope& operator=(const ConversionScope&) = delete;
};

} // namespace

void checkJavaException(const String& context, const String& detail)
{
    JNIEnv* env = JNIHelper::attachCurrentThread();
    jthrowable pending = env->ExceptionOccurred();
    if (pending == nullptr) {
        return;
    }
    env->ExceptionClear();
    JThrowable throwable(pending);
    env->DeleteLocalRef(pending);
    if (convertingThrowable) {
        throw JNIException(static_cast<jthrowable>(throwable.getGlobalReference()), context + " - " + detail);
    }
    String text;
    {
        ConversionScope scope;
        text = throwable.toString();
    }
    throw JNIException(static_cast<jthrowable>(throwable.getGlobalReference()), context + " - " + text + detail);
}

void raiseJavaException(const String& className, const String& message) noexcept
{
    JNIEnv* env = nullptr;
    try {
        env = JNIHelper::attachCurrentThread();
        // JNI allows no lookups while an exception is pending; the new one replaces it.
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
        }
        JClass cls(className);
        if (!raisedAsRefusal(env, cls.getClass(), className.c_str(), message.c_str())) {
            JNIBridge::DiagnosticLog::noteRaised(className.c_str(), message.c_str());
            env->ThrowNew(cls.getClass(), message.c_str());
        }
    } catch (const JNIException& e) {
        reportUnraised(message.c_str());
        // The lookup's failure (typically NoClassDefFoundError) reaches Java instead.
        if (env != nullptr && e.getThrowable() != nullptr && !env->ExceptionCheck()) {
            env->Throw(e.getThrowable());
        }
    } catch (...) {
        reportUnraised(message.c_str());
    }
}

} // namespace JNIBridge
