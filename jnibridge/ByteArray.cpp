// Byte arrays: range-checked slices and the hexadecimal form messages show.
#include "jnibridge/ByteArray.h"

#include "jnibridge/String.h"

namespace JNIBridge {

ByteArray::ByteArray() : Array<char>(false)
{
}

ByteArray::ByteArray(unsigned int n) : Array<char>(n, false)
{
}

ByteArray::ByteArray(const char* data, unsigned int begin, unsigned int end) : Array<char>(data, begin, end, false)
{
}

ByteArray::ByteArray(unsigned int n, Unfilled tag) : Array<char>(n, false, tag)
{
}

ByteArray ByteArray::unfilled(unsigned int n)
{
    return ByteArray(n, Unfilled());
}

ByteArray ByteArray::subBytes(int offset, int length) const
{
    if (offset < 0) {
        throw IndexOutOfBoundsException("ByteArray::subBytes(int, int) - offset ", offset, 0,
                                        static_cast<int>(this->length()));
    }
    if (length < 0) {
        throw IndexOutOfBoundsException("ByteArray::subBytes(int, int) - length ", length, 0,
                                        static_cast<int>(this->length()));
    }
    const unsigned int end = static_cast<unsigned int>(offset) + static_cast<unsigned int>(length);
    if (end > this->length()) {
        throw IndexOutOfBoundsException("ByteArray::subBytes(int, int) - offset + length ", static_cast<int>(end), 0,
                                        static_cast<int>(this->length()));
    }
    // The whole array needs no copy of its bytes: a sharing copy stays
    // independent through copy-on-write.
    if (offset == 0 && end == this->length()) {
        return *this;
    }
    return ByteArray(data(), static_cast<unsigned int>(offset), end);
}

// Built once, on first use; a function-local static is safe against two
// threads arriving at the same moment, and callers only read it. Never
// destroyed, like the type descriptors: a call made while the process exits
// (another thread, an exit handler) must still find the digits.
static const String& hexDigits()
{
    static const String* const digits = new String("0123456789ABCDEF");
    return *digits;
}

String ByteArray::toHexString() const
{
    if (length() == 0) {
        return String();
    }
    const char* digits = hexDigits().data();
    String hex(2 * length());
    char* out = hex.data();
    const unsigned char* in = reinterpret_cast<const unsigned char*>(data());
    for (unsigned int i = 0; i < length(); ++i) {
        out[2 * i] = digits[in[i] >> 4];
        out[2 * i + 1] = digits[in[i] & 0x0F];
    }
    return hex;
}

} // namespace JNIBridge
