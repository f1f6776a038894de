// Builds Java objects of one class through one of its constructors.
#ifndef ORV_JNIBRIDGE_JCONSTRUCTOR_H
#define ORV_JNIBRIDGE_JCONSTRUCTOR_H

#include "jnibridge/JClass.h"
#include "jnibridge/JMethod.h"
#include "jnibridge/JSignature.h"
#include "jnibridge/JVoid.h"

namespace JNIBridge {

class JArguments;
class JProxy;

class JConstructor {
public:
    JConstructor(const JClass& cls, const JSignature<JVoid>& signature);
    JConstructor(const JConstructor&) = delete;
    JConstructor& operator=(const JConstructor&) = delete;

    JProxy invoke(const JArguments& arguments);

private:
    jmethodID constructorID();

    JClass class_;
    JMethod<JVoid> method_;
};

} // namespace JNIBridge

#endif
