// An object built by a constructor, kept with the class it came from.
#include "jnibridge/JProxy.h"

namespace JNIBridge {

JProxy::JProxy(jobject object, const JClass& cls) : JObject(object), class_(cls)
{
}

JProxy::JProxy(const JProxy& other) : JObject(other), class_(other.class_)
{
}

JClass& JProxy::typeClass() const
{
    return class_;
}

} // namespace JNIBridge
