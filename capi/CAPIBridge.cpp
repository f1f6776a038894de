// Copies of Java strings and byte arrays into secure buffers, and boolean answers written back to Java.
#include "capi/CAPIBridge.h"

#include "common/Exception.h"
#include "jnibridge/ArrayElements.h"
#include "jnibridge/NativeEnv.h"

namespace CAPIBridge {

void convertString(JNIEnv* env, jstring string, SecureBuffer& buffer, std::int32_t emptyCode, std::int32_t failureCode)
{
    const jsize length = JNIBridge::modifiedUtf8Length(env, string);
    if (length < 1) {
        throw Common::Exception("CAPIBridge::convertString() zero sized string exception.", emptyCode);
    }
    if (!buffer.allocate(static_cast<std::uint32_t>(length) + 1)) {
        throw Common::Exception("CAPIBridge::convertString() out of memory error.", failureCode);
    }
    if (!JNIBridge::copyModifiedUtf8(env, string, reinterpret_cast<char*>(buffer.data()))) {
        throw Common::Exception("CAPIBridge::convertString() string index out of bounds exception.", failureCode);
    }
    buffer.data()[length] = 0;
}

void convertByteArray(JNIEnv* env, jbyteArray array, SecureBuffer& buffer, std::int32_t emptyCode,
                      std::int32_t failureCode)
{
    const jsize length = JNIBridge::arrayLength(env, array);
    if (length < 1) {
        throw Common::Exception("CAPIBridge::convertByteArray() zero sized byte array exception.", emptyCode);
    }
    if (!buffer.allocate(static_cast<std::uint32_t>(length))) {
        throw Common::Exception("CAPIBridge::convertByteArray() out of memory error.", failureCode);
    }
    if (!JNIBridge::copyBytes(env, array, length, buffer.data())) {
        throw Common::Exception("CAPIBridge::convertByteArray() string index out of bounds exception.", failureCode);
    }
}

int writeBooleanResult(JNIEnv* env, jbooleanArray array, bool value, int emptyCode, int unavailableCode)
{
    if (JNIBridge::arrayLength(env, array) < 1) {
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
