// A failed JNI call, holding its own global reference to the Java throwable.
#include "jnibridge/JNIException.h"

#include "jnibridge/JNIHelper.h"
#include "jnibridge/String.h"

namespace JNIBridge {

JNIException::JNIException(const String& message) : Exception(message)
{
}

JNIException::JNIException(const char* message) : Exception(message)
{
}

JNIException::JNIException(jthrowable throwable, const String& message)
    : Exception(message), throwable_(globalReference(throwable))
{
}

JNIException::JNIException(const JNIException& other) : Exception(other), throwable_(globalReference(other.throwable_))
{
}

JNIException::~JNIException()
{
    if (throwable_ == nullptr) {
        return;
    }
    try {
        JNIHelper::attachCurrentThread()->DeleteGlobalRef(throwable_);
    } catch (...) {
        // Without an environment the reference is left to the VM.
    }
}

// Exceptions are copied while being thrown, so this must never throw itself.
jthrowable JNIException::globalReference(jthrowable throwable) noexcept
{
    if (throwable == nullptr) {
        return nullptr;
    }
    try {
        return static_cast<jthrowable>(JNIHelper::attachCurrentThread()->NewGlobalRef(throwable));
    } catch (...) {
        return nullptr;
    }
}

} // namespace JNIBridge
