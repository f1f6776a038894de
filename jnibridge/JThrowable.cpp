// Reading a Java throwable as the text its toString() gives.
#include "jnibridge/JThrowable.h"

#include "jnibridge/JClass.h"
#include "jnibridge/JMethod.h"
#include "jnibridge/JString.h"
#include "jnibridge/String.h"

namespace JNIBridge {

JThrowable::JThrowable(jthrowable throwable) : JObject(throwable)
{
}

JThrowable::JThrowable(const JObject& object) : JObject(object)
{
}

JClass& JThrowable::typeClass() const
{
    static JClass* const descriptor = new JClass("java/lang/Throwable", "Ljava/lang/Throwable;");
    return *descriptor;
}

// Shared by every thread and every conversion, so Throwable.toString is looked
// up once per process. Never destroyed, like the type descriptors.
static JMethod<JString>& toStringMethod()
{
    static JMethod<JString>* const method = new JMethod<JString>("toString", "()Ljava/lang/String;");
    return *method;
}

String JThrowable::toString()
{
    return toStringMethod().invoke(*this).toString();
}

} // namespace JNIBridge
