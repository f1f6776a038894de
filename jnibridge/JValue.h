// A Java value as JNI passes it: the base of every wrapper.
#ifndef ORV_JNIBRIDGE_JVALUE_H
#define ORV_JNIBRIDGE_JVALUE_H

#include <jni.h>

namespace JNIBridge {

class JClass;

class JValue {
public:
    JValue() noexcept { value_.j = 0; }
    JValue(const JValue& other) = default;
    JValue& operator=(const JValue& other) = default;
    virtual ~JValue() = default;

    // The type descriptor used in method signatures; process-wide per type.
    virtual JClass& typeClass() const = 0;

    jvalue getjValue() const noexcept { return value_; }

protected:
    jvalue value_;
};

} // namespace JNIBridge

#endif
