// Copies of Java strings and byte arrays into native buffers, and the one
// boolean answer the CryptoAPI natives write back.
#ifndef ORV_CAPI_CAPIBRIDGE_H
#define ORV_CAPI_CAPIBRIDGE_H

#include "capi/SecureBuffer.h"

#include <jni.h>

#include <cstdint>

namespace CAPIBridge {

// The string in modified UTF-8, zero-terminated. A null or empty string throws
// Common::Exception with emptyCode; any other failure with failureCode.
void convertString(JNIEnv* env, jstring string, SecureBuffer& buffer, std::int32_t emptyCode, std::int32_t failureCode);

// The array's bytes. A null or empty array throws Common::Exception with
// emptyCode; any other failure with failureCode.
void convertByteArray(JNIEnv* env, jbyteArray array, SecureBuffer& buffer, std::int32_t emptyCode,
                      std::int32_t failureCode);

// Stores value in element 0; returns 0, emptyCode for a null or empty array,
// unavailableCode when the elements cannot be obtained.
int writeBooleanResult(JNIEnv* env, jbooleanArray array, bool value, int emptyCode, int unavailableCode);

} // namespace CAPIBridge

#endif
