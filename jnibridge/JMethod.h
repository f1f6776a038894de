// A Java method by name and descriptor; its ID is looked up once and cached.
#ifndef ORV_JNIBRIDGE_JMETHOD_H
#define ORV_JNIBRIDGE_JMETHOD_H

#include "jnibridge/JSignature.h"
#include "jnibridge/JVoid.h"
#include "jnibridge/String.h"

#include <atomic>
#include <jni.h>
#include <mutex>

namespace JNIBridge {

class JClass;
class JObject;
class JString;

template <typename T>
class JMethod {
public:
    JMethod(const String& name, const String& signature);
    JMethod(const String& name, const JSignature<JVoid>& signature);
    JMethod(const JMethod&) = delete;
    JMethod& operator=(const JMethod&) = delete;

    const String& getName() const noexcept { return name_; }
    const String& getSignature() const noexcept { return signature_; }

    jmethodID getMethodID(JClass& cls);

    // Calls the method on target without arguments (JMethod<JString> only).
    JString invoke(JObject& target);

private:
    static const char* context();

    String name_;
    String signature_;
    std::atomic<jmethodID> id_{nullptr};
    // Serialises the first lookup so a shared method is looked up once per
    // process; never held while a Java exception is converted.
    std::mutex lookup_;
};

template <>
const char* JMethod<JVoid>::context();
template <>
const char* JMethod<JString>::context();
template <>
JString JMethod<JString>::invoke(JObject& target);

extern template class JMethod<JVoid>;
extern template class JMethod<JString>;

} // namespace JNIBridge

#endif
