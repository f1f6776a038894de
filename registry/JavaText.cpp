// Registry bytes back to Java: passed on when NewStringUTF can take them, else decoded first.
#include "registry/JavaText.h"

#include "jnibridge/ModifiedUtf8.h"
#include "jnibridge/NativeEnv.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace RegistryBridge {

namespace {

// Decodes one UTF-8 sequence at bytes[pos]; returns its length, 0 when malformed.
std::size_t decodeUtf8(const std::string& bytes, std::size_t pos, std::uint32_t& codePoint)
{
    const JNIBridge::ModifiedUtf8::Sequence sequence =
        JNIBridge::ModifiedUtf8::decode(reinterpret_cast<const unsigned char*>(bytes.data()) + pos, bytes.size() - pos);
    codePoint = sequence.codePoint;
    return sequence.valid ? sequence.length : 0;
}

bool isSurrogate(std::uint32_t codePoint)
{
    return codePoint >= 0xD800 && codePoint <= 0xDFFF;
}

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
        return JNIBridge::newStringModifiedUtf8(env, bytes.c_str());
    }
    const std::u16string utf16 = toUtf16(bytes);
    if (utf16.size() > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) {
        throw std::length_error("JavaText::toJava(JNIEnv*, const std::string&) - too long for a Java string");
    }
    return JNIBridge::newStringUtf16(env, utf16.data(), static_cast<jsize>(utf16.size()));
}

} // namespace RegistryBridge
