// The Java boolean argument and its type descriptor.
#include "jnibridge/JBoolean.h"

#include "jnibridge/JClass.h"

namespace JNIBridge {

JBoolean::JBoolean(bool value) noexcept
{
    value_.z = value ? JNI_TRUE : JNI_FALSE;
}

JClass& JBoolean::typeClass() const
{
    static JClass* const descriptor = new JClass("boolean", "Z");
    return *descriptor;
}

} // namespace JNIBridge
