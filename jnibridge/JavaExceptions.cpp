#include "jnibridge/JavaExceptions.h"

#include "jnibridge/JClass.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JThrowable.h"
#include "jnibridge/String.h"

#include <cstdio>

using JNIBridge::JClass;
using JNIBridge::JNIException;
using JNIBridge::JThrowable;
using JNIBridge::String;

void throwJavaException(JNIEnv* env, const char* className, const char* message)
{
    jclass cls = env->FindClass(className);
    if (cls == nullptr) {
        std::fprintf(stderr, "Could not throw the exception: %s\n", message);
        return;
    }
    env->ThrowNew(cls, message);
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

void reportUnraised(const String& message)
{
    std::fprintf(stderr, "Could not throw the exception: %s\n", message.c_str());
}

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
        env->ThrowNew(cls.getClass(), message.c_str());
    } catch (const JNIException& e) {
        reportUnraised(message);
        // The lookup's failure (typically NoClassDefFoundError) reaches Java instead.
        if (env != nullptr && e.getThrowable() != nullptr && !env->ExceptionCheck()) {
            env->Throw(e.getThrowable());
        }
    } catch (...) {
        reportUnraised(message);
    }
}
