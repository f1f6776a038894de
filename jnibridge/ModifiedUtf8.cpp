// Conversion of module text (standard UTF-8) into the modified UTF-8 NewStringUTF
// takes, and of text from Java into the UTF-16 Windows' wide calls take.
#include "jnibridge/ModifiedUtf8.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace JNIBridge {

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Bytes in the sequence a lead byte opens; 0 for a byte no sequence starts with.
std::size_t lengthOpenedBy(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// The second byte's range excludes overlong forms and code points above U+10FFFF.
bool secondByteFits(unsigned char lead, unsigned char second)
{
    switch (lead) {
    case 0xE0:
        return second >= 0xA0 && second <= 0xBF;
    case 0xF0:
        return second >= 0x90 && second <= 0xBF;
    case 0xF4:
        return second >= 0x80 && second <= 0x8F;
    default:
        return isContinuation(second);
    }
}

const char kReplacement[] = "\xEF\xBF\xBD";
const char kModifiedNul[] = "\xC0\x80";

void encodeThreeBytes(std::uint32_t unit, char* out)
{
    out[0] = static_cast<char>(0xE0 | (unit >> 12));
    out[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (unit & 0x3F));
}

class Measure {
public:
    void operator()(const char*, std::size_t n) { total += n; }
    std::size_t total = 0;
};

class Write {
public:
    explicit Write(char* target) : out_(target) {}
    void operator()(const char* piece, std::size_t n)
    {
        std::memcpy(out_, piece, n);
        out_ += n;
    }

private:
    char* out_;
};

bool isHighSurrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(std::uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(std::uint32_t codePoint, std::string& out)
{
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        char three[3];
        encodeThreeBytes(codePoint, three);
        out.append(three, 3);
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

ModifiedUtf8::Sequence ModifiedUtf8::decode(const unsigned char* bytes, std::size_t available) noexcept
{
    const unsigned char lead = bytes[0];
    const std::size_t length = lengthOpenedBy(lead);
    if (length == 0) {
        return {1, 0, false};
    }
    std::uint32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const bool fits = i < available && (i == 1 ? secondByteFits(lead, bytes[i]) : isContinuation(bytes[i]));
        if (!fits) {
            return {i, 0, false};
        }
        codePoint = (codePoint << 6) | (bytes[i] & 0x3F);
    }
    return {length, codePoint, true};
}

template <typename Sink>
void ModifiedUtf8::convert(const unsigned char* bytes, std::size_t length, Sink& sink)
{
    for (std::size_t pos = 0; pos < length;) {
        const unsigned char* at = bytes + pos;
        if (at[0] == 0xC0 && pos + 1 < length && at[1] == 0x80) {
            sink(kModifiedNul, 2);
            pos += 2;
            continue;
        }
        const Sequence sequence = decode(at, length - pos);
        if (!sequence.valid) {
            sink(kReplacement, 3);
        } else if (sequence.length < 4) {
            sink(reinterpret_cast<const char*>(at), sequence.length);
        } else {
            const std::uint32_t offset = sequence.codePoint - 0x10000;
            char pair[6];
            encodeThreeBytes(0xD800 + (offset >> 10), pair);
            encodeThreeBytes(0xDC00 + (offset & 0x3FF), pair + 3);
            sink(pair, 6);
        }
        pos += sequence.length;
    }
}

String ModifiedUtf8::fromUtf8(const char* bytes, std::size_t length)
{
    if (bytes == nullptr || length == 0) {
        return String();
    }
    const auto* input = reinterpret_cast<const unsigned char*>(bytes);
    // The text ends at the first NUL, as NewStringUTF would read it: a module
    // that pads a fixed-width field with zero bytes means the text before them.
    length = static_cast<std::size_t>(std::find(input, input + length, 0) - input);
    Measure measure;
    convert(input, length, measure);
    if (measure.total > std::numeric_limits<unsigned int>::max() - 1) {
        throw std::bad_alloc();
    }
    String text(static_cast<unsigned int>(measure.total));
    Write write(text.data());
    convert(input, length, write);
    return text;
}

std::optional<std::u16string> ModifiedUtf8::toUtf16(const char* bytes, std::size_t length)
{
    const auto* input = reinterpret_cast<const unsigned char*>(bytes);
    std::u16string units;
    units.reserve(length);
    for (std::size_t pos = 0; pos < length;) {
        const Sequence sequence = decode(input + pos, length - pos);
        if (!sequence.valid || sequence.codePoint == 0) {
            return std::nullopt;
        }
        if (sequence.codePoint < 0x10000) {
            units.push_back(static_cast<char16_t>(sequence.codePoint));
        } else {
            const std::uint32_t offset = sequence.codePoint - 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        }
        pos += sequence.length;
    }
    return units;
}

std::optional<std::string> ModifiedUtf8::toUtf8(const char* bytes, std::size_t length)
{
    const std::optional<std::u16string> units = toUtf16(bytes, length);
    if (!units) {
        return std::nullopt;
    }
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < units->size(); ++i) {
        std::uint32_t codePoint = (*units)[i];
        if (isHighSurrogate(codePoint) && i + 1 < units->size() && isLowSurrogate((*units)[i + 1])) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + ((*units)[++i] - 0xDC00);
        }
        appendUtf8(codePoint, text);
    }
    return text;
}

} // namespace JNIBridge
