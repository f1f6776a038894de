#include "registry/JavaText.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace Common {

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at bytes[pos]; returns its length, 0 when malformed.
std::size_t decodeUtf8(const std::string& bytes, std::size_t pos, std::uint32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > bytes.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[pos + i]);
        if (!isContinuation(next)) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF) {
        return 0;
    }
    return length;
}

bool isSurrogate(std::uint32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }

bool decodeStrictUtf8(const std::string& bytes, std::u16string& out)
{
    out.clear();
    for (std::size_t pos = 0; pos < bytes.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = decodeUtf8(bytes, pos, codePoint);
        if (length == 0 || isSurrogate(codePoint)) {
            return false;
        }
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
            out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
        } else {
            out += static_cast<char16_t>(codePoint);
        }
        pos += length;
    }
    return true;
}

} // namespace

bool JavaText::isModifiedUtf8(const std::string& bytes)
{
    for (std::size_t pos = 0; pos < bytes.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = decodeUtf8(bytes, pos, codePoint);
        if (length == 0 || length == 4 || codePoint == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::u16string JavaText::toUtf16(const std::string& bytes)
{
    std::u16string utf16;
    if (decodeStrictUtf8(bytes, utf16)) {
        return utf16;
    }
    utf16.clear();
    for (const char byte : bytes) {
        utf16 += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return utf16;
}

jstring JavaText::toJava(JNIEnv* env, const std::string& bytes)
{
    if (bytes.size() <= static_cast<std::size_t>(std::numeric_limits<jsize>::max()) && isModifiedUtf8(bytes)) {
        return env->NewStringUTF(bytes.c_str());
    }
    const std::u16string utf16 = toUtf16(bytes);
    if (utf16.size() > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) {
        throw std::length_error("JavaText::toJava(JNIEnv*, const std::string&) - too long for a Java string");
    }
    return env->NewString(reinterpret_cast<const jchar*>(utf16.data()), static_cast<jsize>(utf16.size()));
}

} // namespace Common
