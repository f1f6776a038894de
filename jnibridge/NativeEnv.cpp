// JNI calls on a native's own environment, for the rooms outside jnibridge.
#include "jnibridge/NativeEnv.h"

namespace JNIBridge {

jsize arrayLength(JNIEnv* env, jarray array)
{
    return array != nullptr ? env->GetArrayLength(array) : 0;
}

jsize modifiedUtf8Length(JNIEnv* env, jstring string)
{
    return string != nullptr ? env->GetStringUTFLength(string) : 0;
}

bool copyModifiedUtf8(JNIEnv* env, jstring string, char* out)
{
    env->GetStringUTFRegion(string, 0, env->GetStringLength(string), out);
    return !env->ExceptionCheck();
}

bool copyBytes(JNIEnv* env, jbyteArray array, jsize length, void* out)
{
    env->GetByteArrayRegion(array, 0, length, static_cast<jbyte*>(out));
    return !env->ExceptionCheck();
}

jbyteArray newByteArray(JNIEnv* env, jsize length)
{
    return env->NewByteArray(length);
}

jbyteArray newByteArray(JNIEnv* env, const void* bytes, jsize length)
{
    jbyteArray array = env->NewByteArray(length);
    if (array == nullptr) {
        return nullptr;
    }
    env->SetByteArrayRegion(array, 0, length, static_cast<const jbyte*>(bytes));
    if (env->ExceptionCheck()) {
        env->DeleteLocalRef(array);
        return nullptr;
    }
    return array;
}

jstring newStringModifiedUtf8(JNIEnv* env, const char* text)
{
    return env->NewStringUTF(text);
}

jstring newStringUtf16(JNIEnv* env, const char16_t* units, jsize length)
{
    return env->NewString(reinterpret_cast<const jchar*>(units), length);
}

jclass objectClass(JNIEnv* env, jobject object)
{
    return env->GetObjectClass(object);
}

jmethodID methodId(JNIEnv* env, jclass cls, const char* name, const char* signature)
{
    return env->GetMethodID(cls, name, signature);
}

bool callBooleanMethodClearing(JNIEnv* env, jobject object, jmethodID method, jobject argument)
{
    env->CallBooleanMethod(object, method, argument);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return false;
    }
    return true;
}

DirectBuffer directBuffer(JNIEnv* env, jobject buffer)
{
    return DirectBuffer{env->GetDirectBufferAddress(buffer), env->GetDirectBufferCapacity(buffer)};
}

bool exceptionPending(JNIEnv* env)
{
    return env->ExceptionCheck();
}

} // namespace JNIBridge
