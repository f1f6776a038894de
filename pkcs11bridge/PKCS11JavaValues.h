// Conversions between the Java arguments and results of the PKCS11Slot
// natives and the bridge's own values.
#ifndef ORV_PKCS11BRIDGE_PKCS11JAVAVALUES_H
#define ORV_PKCS11BRIDGE_PKCS11JAVAVALUES_H

#include "jnibridge/ByteArray.h"
#include "jnibridge/JByteArray.h"
#include "pkcs11bridge/Cryptoki.h"

#include <jni.h>

#include <cstdint>

namespace PKCS11Bridge {

// A null Java array reads as an empty ByteArray. One copy, no reference of
// its own: the argument's local reference outlives the call.
inline JNIBridge::ByteArray bytesOf(jbyteArray value)
{
    return JNIBridge::JByteArray::copyOf(value);
}

// A new local byte[] for Java; an empty ByteArray gives byte[0].
inline jbyteArray javaBytesOf(const JNIBridge::ByteArray& value)
{
    return JNIBridge::JByteArray::newLocal(value);
}

// A Java int standing for a CK_ULONG (class, type, mechanism, handle) keeps
// its 32 bits, so values above 0x7FFFFFFF reach the module unchanged.
inline CK_ULONG ckULongOf(jint value)
{
    return static_cast<CK_ULONG>(static_cast<std::uint32_t>(value));
}

// A CK_ULONG handed to Java as an int: its low 32 bits, so
// CK_UNAVAILABLE_INFORMATION reads as -1 on every platform.
inline jint javaIntOf(CK_ULONG value)
{
    return static_cast<jint>(static_cast<std::uint32_t>(value));
}

} // namespace PKCS11Bridge

#endif
