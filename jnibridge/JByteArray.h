// A Java byte[]; converts to and from the library's ByteArray.
#ifndef ORV_JNIBRIDGE_JBYTEARRAY_H
#define ORV_JNIBRIDGE_JBYTEARRAY_H

#include "jnibridge/JObject.h"

namespace JNIBridge {

class ByteArray;

class JByteArray : public JObject {
public:
    explicit JByteArray(jbyteArray bytes);
    // A new Java byte[] holding a copy; an empty ByteArray gives byte[0], not null.
    explicit JByteArray(const ByteArray& bytes);
    JByteArray(const JByteArray& other) = default;
    JByteArray& operator=(const JByteArray& other) = default;

    JClass& typeClass() const override;

    // A copy of the Java array; a null array reads as empty.
    ByteArray toByteArray() const;

    // The same two conversions for a native's arguments and result, without
    // a global reference of their own: the local reference the VM handed in,
    // or the new one handed back, lives for the whole call anyway.
    static ByteArray copyOf(jbyteArray bytes);
    static jbyteArray newLocal(const ByteArray& bytes);
};

} // namespace JNIBridge

#endif
