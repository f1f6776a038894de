// Text: construction from C strings and slices, and appending text and numbers.
#include "jnibridge/String.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace JNIBridge {

static unsigned int lengthOf(const char* text)
{
    return text == nullptr ? 0 : static_cast<unsigned int>(std::strlen(text));
}

String::String() : Array<char>(true)
{
}

String::String(unsigned int n) : Array<char>(n, true)
{
}

String::String(const char* text) : Array<char>(text, 0, lengthOf(text), true)
{
}

String::String(const char* data, unsigned int begin, unsigned int end) : Array<char>(data, begin, end, true)
{
}

String& String::appendBytes(const char* text, unsigned int n)
{
    if (text == nullptr || n == 0) {
        return *this;
    }
    SmartPointer<char> buffer = grow(n);
    std::memcpy(buffer.get() + length(), text, n);
    replace(buffer, length() + n);
    return *this;
}

String& String::append(const char* text)
{
    return appendBytes(text, lengthOf(text));
}

String& String::append(const String& text)
{
    return appendBytes(text.data(), lengthOf(text.data()));
}

String& String::append(int value)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", value);
    return append(digits);
}

String& String::append(long value)
{
    return append(static_cast<int>(static_cast<std::int32_t>(value)));
}

String String::operator+(const String& other) const
{
    String result(*this);
    return result.append(other);
}

String String::operator+(const char* other) const
{
    String result(*this);
    return result.append(other);
}

} // namespace JNIBridge
