// Building a Java object through a constructor looked up once.
#include "jnibridge/JConstructor.h"

#include "jnibridge/JArguments.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JProxy.h"
#include "jnibridge/JavaExceptions.h"

namespace JNIBridge {

JConstructor::JConstructor(const JClass& cls, const JSignature<JVoid>& signature)
    : class_(cls), method_("<init>", signature)
{
}

// A missing class or constructor is reported with the class and the
// constructor it was looking for, followed by the lookup's own message.
jmethodID JConstructor::constructorID()
{
    try {
        return method_.getMethodID(class_);
    } catch (const JNIException& e) {
        String message("JConstructor::invoke(const JArguments&) - ");
        message.append(class_.getName()).append(method_.getName()).append("(");
        message.append(method_.getSignature()).append(")").append(" - ").append(e.getMessage());
        throw JNIException(message);
    }
}

JProxy JConstructor::invoke(const JArguments& arguments)
{
    jmethodID id = constructorID();
    const std::vector<jvalue> values = arguments.toJValueArray();
    JNIEnv* env = JNIHelper::attachCurrentThread();
    jobject object = env->NewObjectA(class_.getClass(), id, values.empty() ? nullptr : values.data());
    // The failure's text is built only when there is a failure.
    if (env->ExceptionCheck()) {
        checkJavaException("JConstructor::invoke(const JArguments&) - NewObjectA(...)", String());
    }
    try {
        JProxy proxy(object, class_);
        env->DeleteLocalRef(object);
        return proxy;
    } catch (...) {
        env->DeleteLocalRef(object);
        throw;
    }
}

} // namespace JNIBridge
