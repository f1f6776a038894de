// A Java object held through a global reference that lives as long as the wrapper.
#ifndef ORV_JNIBRIDGE_JOBJECT_H
#define ORV_JNIBRIDGE_JOBJECT_H

#include "jnibridge/JValue.h"

namespace JNIBridge {

class JObject : public JValue {
public:
    JObject() noexcept;
    // Takes a global reference of its own; the caller's reference is untouched.
    explicit JObject(jobject object);
    JObject(const JObject& other);
    JObject& operator=(const JObject& other);
    ~JObject() override;

    JClass& typeClass() const override;

    void setjValue(jvalue value);
    jobject getGlobalReference() const noexcept { return value_.l; }
    // A new local reference: the form in which a native hands the object to Java.
    jobject getLocalReference() const;

private:
    void releaseReference() noexcept;
};

} // namespace JNIBridge

#endif
