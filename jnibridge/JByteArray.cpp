// Copies between Java byte[] and ByteArray, each way in one JNI call.
#include "jnibridge/JByteArray.h"

#include "jnibridge/ByteArray.h"
#include "jnibridge/JClass.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JavaExceptions.h"

namespace JNIBridge {

namespace {

// The failure's message is built only when there is a failure.
void checkPending(JNIEnv* env, const char* context)
{
    if (env->ExceptionCheck()) {
        checkJavaException(context, String());
    }
}

// A null array is NewByteArray's one sign of failure, which leaves its
// exception pending; a null never goes on to SetByteArrayRegion.
jbyteArray newByteArray(JNIEnv* env, jsize length)
{
    jbyteArray local = env->NewByteArray(length);
    if (local == nullptr) {
        const char* const context = "JByteArray::JByteArray(const ByteArray&) - NewByteArray(...)";
        checkPending(env, context);
        throw JNIException(context);
    }
    return local;
}

} // namespace

JByteArray::JByteArray(jbyteArray bytes) : JObject(bytes)
{
}

JByteArray::JByteArray(const ByteArray& bytes)
{
    JNIEnv* env = JNIHelper::attachCurrentThread();
    const jsize length = static_cast<jsize>(bytes.length());
    jbyteArray local = newByteArray(env, length);
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
    checkPending(env, "JByteArray::JByteArray(const ByteArray&) - SetByteArrayRegion(...)");
}

JClass& JByteArray::typeClass() const
{
    static JClass* const descriptor =
        new JClass(String("[") + JClass::byteType().getName(), String("[") + JClass::byteType().getSignature());
    return *descriptor;
}

ByteArray JByteArray::toByteArray() const
{
    return copyOf(static_cast<jbyteArray>(getGlobalReference()));
}

ByteArray JByteArray::copyOf(jbyteArray bytes)
{
    if (bytes == nullptr) {
        return ByteArray();
    }
    JNIEnv* env = JNIHelper::attachCurrentThread();
    const jsize length = env->GetArrayLength(bytes);
    checkPending(env, "JByteArray::toByteArray() - GetArrayLength(...)");
    // Unfilled: the region copy below writes every byte or fails.
    ByteArray result = ByteArray::unfilled(static_cast<unsigned int>(length < 0 ? 0 : length));
    env->GetByteArrayRegion(bytes, 0, static_cast<jsize>(result.length()), reinterpret_cast<jbyte*>(result.data()));
    checkPending(env, "JByteArray::toByteArray() - GetByteArrayRegion(...)");
    return result;
}

jbyteArray JByteArray::newLocal(const ByteArray& bytes)
{
    JNIEnv* env = JNIHelper::attachCurrentThread();
    const jsize length = static_cast<jsize>(bytes.length());
    jbyteArray local = newByteArray(env, length);
    env->SetByteArrayRegion(local, 0, length, reinterpret_cast<const jbyte*>(bytes.data()));
    if (env->ExceptionCheck()) {
        env->DeleteLocalRef(local);
        checkJavaException("JByteArray::JByteArray(const ByteArray&) - SetByteArrayRegion(...)", String());
    }
    return local;
}

} // namespace JNIBridge
