// Finding a Java class once and keeping a global reference to it.
#include "jnibridge/JClass.h"

#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JavaExceptions.h"

namespace JNIBridge {

JClass::JClass(const String& name) : name_(name), signature_(String("L") + name + ";")
{
}

JClass::JClass(const String& name, const String& signature) : name_(name), signature_(signature)
{
}

JClass::JClass(const JClass& other) : name_(other.name_), signature_(other.signature_)
{
}

JClass::~JClass()
{
    jclass held = class_.load();
    if (held == nullptr) {
        return;
    }
    try {
        JNIHelper::attachCurrentThread()->DeleteGlobalRef(held);
    } catch (...) {
        // No environment: the reference is left to the VM.
    }
}

jclass JClass::getClass()
{
    jclass held = class_.load(std::memory_order_acquire);
    if (held == nullptr) {
        setClass();
        held = class_.load(std::memory_order_acquire);
    }
    return held;
}

void JClass::setClass()
{
    JNIEnv* env = JNIHelper::attachCurrentThread();
    const String notFound = String("JClass::setClass() - Unable to FindClass '") + name_ + "'";
    jclass local = env->FindClass(name_.c_str());
    if (local == nullptr) {
        checkJavaException(notFound, String());
        // Nothing pending and still no class: a null class must never reach JNI.
        throw JNIException(notFound);
    }
    jclass global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    if (global == nullptr) {
        const String noRef = String("JClass::setClass() - Unable to allocate a NewGlobalRef for Class '") + name_ + "'";
        checkJavaException(noRef, String());
        throw JNIException(noRef);
    }
    jclass expected = nullptr;
    if (!class_.compare_exchange_strong(expected, global)) {
        env->DeleteGlobalRef(global);
    }
}

const JClass& JClass::byteType()
{
    static const JClass* const descriptor = new JClass("byte", "B");
    return *descriptor;
}

const JClass& JClass::voidType()
{
    static const JClass* const descriptor = new JClass("void", "V");
    return *descriptor;
}

} // namespace JNIBridge
