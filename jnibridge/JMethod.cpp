// Method IDs looked up once per method object, and the no-argument call that returns a Java string.
#include "jnibridge/JMethod.h"

#include "jnibridge/JClass.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JString.h"
#include "jnibridge/JavaExceptions.h"

namespace JNIBridge {

template <>
const char* JMethod<JVoid>::context()
{
    return "JMethod<JVoid>::getMethodID(JClass&)";
}

template <>
const char* JMethod<JString>::context()
{
    return "JMethod<JString>::getMethodID(JClass&)";
}

template <typename T>
JMethod<T>::JMethod(const String& name, const String& signature) : name_(name), signature_(signature)
{
}

template <typename T>
JMethod<T>::JMethod(const String& name, const JSignature<JVoid>& signature)
    : name_(name), signature_(signature.getSignature())
{
}

template <typename T>
jmethodID JMethod<T>::getMethodID(JClass& cls)
{
    jmethodID id = id_.load(std::memory_order_acquire);
    if (id != nullptr) {
        return id;
    }
    // Resolved before locking: a failure here converts a Java exception,
    // which may need this very method (Throwable.toString).
    jclass target = cls.getClass();
    JNIEnv* env = JNIHelper::attachCurrentThread();
    {
        std::lock_guard<std::mutex> lock(lookup_);
        id = id_.load(std::memory_order_acquire);
        if (id != nullptr) {
            return id;
        }
        id = env->GetMethodID(target, name_.c_str(), signature_.c_str());
        id_.store(id, std::memory_order_release);
    }
    if (id == nullptr) {
        checkJavaException(context(), signature_ + " in class - " + cls.getName());
        throw JNIException(String(context()) + " - " + signature_ + " in class - " + cls.getName());
    }
    return id;
}

template <>
JString JMethod<JString>::invoke(JObject& target)
{
    static const char* const kCallContext = "JMethod<JString>::invoke(JObject&) - CallObjectMethodA(...)";
    if (target.getGlobalReference() == nullptr) {
        throw JNIException(String(kCallContext) + " - null target");
    }
    jmethodID id = getMethodID(target.typeClass());
    JNIEnv* env = JNIHelper::attachCurrentThread();
    jobject result = env->CallObjectMethodA(target.getGlobalReference(), id, nullptr);
    checkJavaException(kCallContext, String());
    JString text(static_cast<jstring>(result));
    env->DeleteLocalRef(result);
    return text;
}

template class JMethod<JVoid>;
template class JMethod<JString>;

} // namespace JNIBridge
