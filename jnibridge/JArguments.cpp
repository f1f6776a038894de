// Constructor arguments handed to JNI as one jvalue array.
#include "jnibridge/JArguments.h"

#include "jnibridge/JValue.h"

namespace JNIBridge {

JArguments& JArguments::add(JValue& value)
{
    values_.push_back(&value);
    return *this;
}

std::vector<jvalue> JArguments::toJValueArray() const
{
    std::vector<jvalue> result;
    result.reserve(values_.size());
    for (const JValue* value : values_) {
        result.push_back(value->getjValue());
    }
    return result;
}

} // namespace JNIBridge
