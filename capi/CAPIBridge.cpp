// Copies of Java strings and byte arrays into secure buffers, and boolean answers written back to Java.
#include "capi/CAPIBridge.h"

#include "common/Exception.h"
#include "jnibridge/ArrayElements.h"

namespace CAPIBridge {

void convertString(JNIEnv* env, jstring string, SecureBuffer& buffer, std::int32_t emptyCode, std::int32_t failureCode)
{
    const jsize length = string != nullptr ? env->GetStringUTFLength(string) : 0;
    if (length < 1) {
        throw Common::Exception("CAPIBridge::convertString() zero sized string exception.", emptyCode);
    }
    if (!buffer.allocate(static_cast<std::uint32_t>(length) + 1)) {
        throw Common::Exception("CAPIBridge::convertString() out of memory error.", failureCode);
    }
    env->GetStringUTFRegion(string, 0, env->GetStringLength(string), reinterpret_cast<char*>(buffer.data()));
    if (env->ExceptionCheck()) {
        throw Common::Exception("CAPIBridge::convertString() string index out of bounds exception.", failureCode);
    }
    buffer.data()[length] = 0;
}

void convertByteArray(JNIEnv* env, jbyteArray array, SecureBuffer& buffer, std::int32_t emptyCode,
                      std::int32_t failureCode)
{
    const jsize length = array != nullptr ? env->GetArrayLength(array) : 0;
    if (length < 1) {
        throw Common::Exception("CAPIBridge::convertByteArray() zero sized byte array exception.", emptyCode);
    }
    if (!buffer.allocate(static_cast<std::uint32_t>(length))) {
        throw Common::Exception("CAPIBridge::convertByteArray() out of memory error.", failureCode);
    }
    env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(buffer.data()));
    if (env->ExceptionCheck()) {
        throw Common::Exception("CAPIBridge::convertByteArray() string index out of bounds exception.", failureCode);
    }
}

int writeBooleanResult(JNIEnv* env, jbooleanArray array, bool value, int emptyCode, int unavailableCode)
{
    if (array == nullptr || env->GetArrayLength(array) < 1) {
        return emptyCode;
    }
    JNIBridge::BooleanArrayElements elements(env, array);
    if (!elements) {
        return unavailableCode;
    }
    elements.get()[0] = value ? JNI_TRUE : JNI_FALSE;
    return 0;
}

} // namespace CAPIBridge
