// Bytes in a copy-on-write buffer that is wiped when its last holder goes.
#ifndef ORV_JNIBRIDGE_BYTEARRAY_H
#define ORV_JNIBRIDGE_BYTEARRAY_H

#include "jnibridge/Array.h"

namespace JNIBridge {

class String;

class ByteArray : public Array<char> {
public:
    ByteArray();
    explicit ByteArray(unsigned int n);
    ByteArray(const char* data, unsigned int begin, unsigned int end);
    // n bytes the caller must overwrite in full before anything reads them.
    static ByteArray unfilled(unsigned int n);
    ByteArray(const ByteArray& other) = default;
    ByteArray& operator=(const ByteArray& other) = default;

    // The bytes offset .. offset + length - 1; negative or out-of-range
    // requests throw IndexOutOfBoundsException instead of reading past the end.
    ByteArray subBytes(int offset, int length) const;

    // Upper-case hexadecimal, two digits per byte, no separators.
    String toHexString() const;

private:
    ByteArray(unsigned int n, Unfilled tag);
};

} // namespace JNIBridge

#endif
