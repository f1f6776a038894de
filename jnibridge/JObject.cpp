// Global references taken and released with the wrapper that holds them.
#include "jnibridge/JObject.h"

#include "jnibridge/JClass.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JavaExceptions.h"
#include "jnibridge/String.h"

namespace JNIBridge {

JObject::JObject() noexcept = default;

JObject::JObject(jobject object)
{
    jvalue v;
    v.j = 0;
    v.l = object;
    setjValue(v);
}

JObject::JObject(const JObject& other) : JValue()
{
    setjValue(other.value_);
}

JObject& JObject::operator=(const JObject& other)
{
    if (this != &other) {
        setjValue(other.value_);
    }
    return *this;
}

JObject::~JObject()
{
    releaseReference();
}

JClass& JObject::typeClass() const
{
    // Never destroyed: deleting its reference at exit would call into a VM
    // that may already be gone.
    static JClass* const descriptor = new JClass("java/lang/Object", "Ljava/lang/Object;");
    return *descriptor;
}

void JObject::releaseReference() noexcept
{
    if (value_.l == nullptr) {
        return;
    }
    try {
        JNIHelper::attachCurrentThread()->DeleteGlobalRef(value_.l);
    } catch (...) {
        // No environment: the reference is left to the VM.
    }
    value_.j = 0;
}

// The new reference is taken before the old one goes, so handing a wrapper
// its own value never works on a deleted reference.
void JObject::setjValue(jvalue value)
{
    if (value.l == nullptr) {
        releaseReference();
        value_ = value;
        return;
    }
    jobject global = JNIHelper::attachCurrentThread()->NewGlobalRef(value.l);
    if (global == nullptr) {
        throw JNIException("JObject::setjValue(jvalue) - NewGlobalRef(...)");
    }
    releaseReference();
    value_.j = 0;
    value_.l = global;
}

jobject JObject::getLocalReference() const
{
    JNIEnv* env = JNIHelper::attachCurrentThread();
    jobject local = env->NewLocalRef(value_.l);
    // The failure's text is built only when there is a failure.
    if (env->ExceptionCheck()) {
        checkJavaException("JObject::getLocalReference() - NewLocalRef(...)", String());
    }
    return local;
}

} // namespace JNIBridge
