// Text on its way to NewStringUTF. Modules hand out standard UTF-8, Java
// hands out modified UTF-8; NewStringUTF takes only the latter.
#ifndef ORV_JNIBRIDGE_MODIFIEDUTF8_H
#define ORV_JNIBRIDGE_MODIFIEDUTF8_H

#include "jnibridge/String.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace JNIBridge {

class ModifiedUtf8 {
public:
    // One sequence at the start of a byte run. A well-formed sequence of
    // standard UTF-8 is valid, and so is the three-byte form of a surrogate
    // (modified UTF-8 carries supplementary characters that way). Anything
    // else is invalid, and length is then its maximal well-formed prefix
    // (at least 1), the part that one U+FFFD stands in for.
    struct Sequence {
        std::size_t length;
        std::uint32_t codePoint;
        bool valid;
    };

    static Sequence decode(const unsigned char* bytes, std::size_t available) noexcept;

    // Modified UTF-8 for the bytes before the first NUL: a four-byte
    // character becomes its surrogate pair (three bytes each), and each
    // invalid sequence becomes U+FFFD. Modified UTF-8 (C0 80 too) passes
    // unchanged.
    static String fromUtf8(const char* bytes, std::size_t length);

    // The UTF-16 units of text from Java (modified UTF-8; standard four-byte
    // sequences too). Nothing for text holding a NUL (C0 80) or a malformed
    // sequence: such text cannot name a file, and a cut-short name could name
    // another one.
    static std::optional<std::u16string> toUtf16(const char* bytes, std::size_t length);

    // The same text as standard UTF-8: a surrogate pair becomes one four-byte
    // sequence. A lone surrogate keeps its three bytes, as Java held it.
    static std::optional<std::string> toUtf8(const char* bytes, std::size_t length);

private:
    template <typename Sink>
    static void convert(const unsigned char* bytes, std::size_t length, Sink& sink);
};

} // namespace JNIBridge

#endif
