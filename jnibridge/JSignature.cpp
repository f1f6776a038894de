// The method descriptor built from the argument types in order.
#include "jnibridge/JSignature.h"

#include "jnibridge/JClass.h"

namespace JNIBridge {

JSignature<JVoid>& JSignature<JVoid>::add(const JClass& type)
{
    arguments_.push_back(&type);
    return *this;
}

String JSignature<JVoid>::getSignature() const
{
    String signature("(");
    for (const JClass* type : arguments_) {
        signature.append(type->getSignature());
    }
    return signature.append(")").append(JClass::voidType().getSignature());
}

} // namespace JNIBridge
