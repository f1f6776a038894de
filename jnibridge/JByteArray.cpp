#include "jnibridge/JByteArray.h"

#include "jnibridge/ByteArray.h"
#include "jnibridge/JClass.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JavaExceptions.h"

namespace JNIBridge {

JByteArray::JByteArray(jbyteArray bytes) : JObject(bytes) {}

JByteArray::JByteArray(const ByteArray& bytes)
{
    JNIEnv* env = JNIHelper::attachCurrentThread();
    const jsize length = static_cast<jsize>(bytes.length());
    jbyteArray local = env->NewByteArray(length);
    checkJavaException("JByteArray::JByteArray(const ByteArray&) - NewByteArray(...)", String());
    jvalue v;
    v.j = 0;
    v.l = local;
    try {
        setjValue(v);
    } catch (...) {
        env->DeleteLocalRef(local);
        throw;
    }
    env->SetByteArrayRegion(local, 0, length, reinterpret_cast<const jbyte*>(bytes.data()));
    env->DeleteLocalRef(local);
    checkJavaException("JByteArray::JByteArray(const ByteArray&) - SetByteArrayRegion(...)", String());
}

JClass& JByteArray::typeClass() const
{
    static JClass* const descriptor =
        new JClass(String("[") + JClass::byteType().getName(), String("[") + JClass::byteType().getSignature());
    return *descriptor;
}

ByteArray JByteArray::toByteArray() const
{
    jbyteArray bytes = static_cast<jbyteArray>(getGlobalReference());
    if (bytes == nullptr) {
        return ByteArray();
    }
    JNIEnv* env = JNIHelper::attachCurrentThread();
    const jsize length = env->GetArrayLength(bytes);
    checkJavaException("JByteArray::toByteArray() - GetArrayLength(...)", String());
    ByteArray result(static_cast<unsigned int>(length < 0 ? 0 : length));
    result.detach();
    env->GetByteArrayRegion(bytes, 0, static_cast<jsize>(result.length()), reinterpret_cast<jbyte*>(result.data()));
    checkJavaException("JByteArray::toByteArray() - GetByteArrayRegion(...)", String());
    return result;
}

} // namespace JNIBridge
