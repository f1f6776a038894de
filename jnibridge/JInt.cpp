// The Java int argument and its type descriptor.
#include "jnibridge/JInt.h"

#include "jnibridge/JClass.h"

namespace JNIBridge {

JInt::JInt(int value) noexcept
{
    value_.i = static_cast<jint>(value);
}

JClass& JInt::typeClass() const
{
    static JClass* const descriptor = new JClass("int", "I");
    return *descriptor;
}

} // namespace JNIBridge
