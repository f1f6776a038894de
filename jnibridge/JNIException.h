// A JNI call failed; may carry the Java throwable that caused it.
#ifndef ORV_JNIBRIDGE_JNIEXCEPTION_H
#define ORV_JNIBRIDGE_JNIEXCEPTION_H

#include "jnibridge/Exception.h"

#include <jni.h>

namespace JNIBridge {

class JNIException : public Exception {
public:
    explicit JNIException(const String& message);
    explicit JNIException(const char* message);
    // Takes a global reference of its own to the throwable.
    JNIException(jthrowable throwable, const String& message);
    JNIException(const JNIException& other);
    ~JNIException() override;

    jthrowable getThrowable() const noexcept { return throwable_; }

private:
    static jthrowable globalReference(jthrowable throwable) noexcept;

    jthrowable throwable_ = nullptr;
};

} // namespace JNIBridge

#endif
