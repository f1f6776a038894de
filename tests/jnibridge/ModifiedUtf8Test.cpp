// Text from modules on its way to NewStringUTF: what Java will read, checked
// by a decoder of modified UTF-8 written from the JNI rules, against UTF-16
// literals the compiler encodes.
#include "jnibridge/ModifiedUtf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

using JNIBridge::ModifiedUtf8;
using JNIBridge::String;

namespace {

std::string converted(const std::string& bytes)
{
    const String text = ModifiedUtf8::fromUtf8(bytes.data(), bytes.size());
    EXPECT_EQ(text.c_str()[text.length()], '\0');
    return std::string(text.data(), text.length());
}

// What a JVM reads from modified UTF-8: one to three bytes per UTF-16 unit, no
// zero byte, no four-byte form. Fails the test on anything else.
std::u16string javaChars(const std::string& modified)
{
    std::u16string units;
    for (std::size_t i = 0; i < modified.size();) {
        const auto b0 = static_cast<unsigned char>(modified[i]);
        auto next = [&](std::size_t k) -> unsigned {
            if (i + k >= modified.size() || (static_cast<unsigned char>(modified[i + k]) & 0xC0) != 0x80) {
                ADD_FAILURE() << "cut or bad continuation at " << i;
                return 0;
            }
            return static_cast<unsigned char>(modified[i + k]) & 0x3F;
        };
        if (b0 == 0) {
            ADD_FAILURE() << "zero byte at " << i;
            return units;
        }
        if (b0 < 0x80) {
            units += static_cast<char16_t>(b0);
            i += 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            units += static_cast<char16_t>(((b0 & 0x1F) << 6) | next(1));
            i += 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            units += static_cast<char16_t>(((b0 & 0x0F) << 12) | (next(1) << 6) | next(2));
            i += 3;
        } else {
            ADD_FAILURE() << "byte " << unsigned(b0) << " cannot open modified UTF-8 at " << i;
            return units;
        }
    }
    return units;
}

std::u16string javaRead(const std::string& bytes)
{
    return javaChars(converted(bytes));
}

} // namespace

TEST(ModifiedUtf8, ShortSequencesPassUnchanged)
{
    EXPECT_EQ(converted(""), "");
    EXPECT_EQ(converted("Token 01"), "Token 01");
    EXPECT_EQ(converted("Schl\xC3\xBCssel \xE2\x82\xAC"), "Schl\xC3\xBCssel \xE2\x82\xAC");
    EXPECT_EQ(javaRead("Schl\xC3\xBCssel \xE2\x82\xAC"), u"Schl\u00FCssel \u20AC");
    EXPECT_EQ(ModifiedUtf8::fromUtf8(nullptr, 5).length(), 0u);
}

TEST(ModifiedUtf8, SupplementaryCharactersBecomeSurrogatePairs)
{
    EXPECT_EQ(converted("\xF0\x9F\x94\x91"), "\xED\xA0\xBD\xED\xB4\x91");
    EXPECT_EQ(javaRead("\xF0\x9F\x94\x91"), u"\U0001F511");
    EXPECT_EQ(javaRead("\xF0\x90\x80\x80|\xF4\x8F\xBF\xBF"), u"\U00010000|\U0010FFFF");
}

// As NewStringUTF reads it: a module's NUL padding, and whatever follows, is no text.
TEST(ModifiedUtf8, TextEndsAtTheFirstNul)
{
    EXPECT_EQ(converted(std::string("a\0b\0", 4)), "a");
    EXPECT_EQ(javaRead(std::string("nul-padded") + std::string(22, '\0')), u"nul-padded");
    EXPECT_EQ(javaRead(std::string("f\xFCr \xF0\x9F\x94\x91  \0\xFF\xF0", 13)), u"f\uFFFDr \U0001F511  ");
    EXPECT_EQ(converted(std::string("\0abc", 4)), "");
}

TEST(ModifiedUtf8, InvalidBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(javaRead("f\xFCr"), u"f\uFFFDr");                           // Latin-1
    EXPECT_EQ(javaRead("\x80\xBF"), u"\uFFFD\uFFFD");                     // stray continuations
    EXPECT_EQ(javaRead("\xC0\xAF\xC1\xBF"), u"\uFFFD\uFFFD\uFFFD\uFFFD"); // overlong two-byte forms
    EXPECT_EQ(javaRead("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");           // overlong three-byte form
    EXPECT_EQ(javaRead("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD"); // above U+10FFFF
    EXPECT_EQ(javaRead("\xF5\xF8\xFE\xFF"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(ModifiedUtf8, CutSequenceIsOneReplacement)
{
    EXPECT_EQ(javaRead("x\xF0\x9F\x94"), u"x\uFFFD");
    EXPECT_EQ(javaRead("\xE2\x82x"), u"\uFFFDx");
    EXPECT_EQ(javaRead("\xF0\x9F\x94\xF0\x9F\x94\x91"), u"\uFFFD\U0001F511");
    EXPECT_EQ(javaRead("\xC3"), u"\uFFFD");
}

TEST(ModifiedUtf8, ModifiedFormsFromJavaPassUnchanged)
{
    EXPECT_EQ(converted("\xED\xA0\xBD\xED\xB4\x91"), "\xED\xA0\xBD\xED\xB4\x91");
    EXPECT_EQ(converted("\xC0\x80"), "\xC0\x80");
    EXPECT_EQ(converted("\xED\xB0\x80"), "\xED\xB0\x80"); // a lone surrogate, as Java may hold one
    EXPECT_EQ(javaRead("\xC0\x80"), std::u16string(1, u'\0'));
}

// A module path from Java on its way to LoadLibraryW or dlopen.
TEST(ModifiedUtf8, JavaTextBecomesUtf16OrUtf8UnlessItCannotNameAFile)
{
    const std::string cesu = "J\xC3\xBCrgen/\xED\xA0\xBD\xED\xB4\x91/\xED\xB0\x80/\xF0\x9F\x98\x80";
    EXPECT_EQ(ModifiedUtf8::toUtf8(cesu.data(), cesu.size()),
              "J\xC3\xBCrgen/\xF0\x9F\x94\x91/\xED\xB0\x80/\xF0\x9F\x98\x80");
    EXPECT_FALSE(ModifiedUtf8::toUtf8("a\xC0\x80", 3));
    const auto wide = [](const std::string& bytes) { return ModifiedUtf8::toUtf16(bytes.data(), bytes.size()); };
    EXPECT_EQ(wide("C:\\J\xC3\xBCrgen\\\xED\xA0\xBD\xED\xB4\x91\\p.dll"), u"C:\\J\u00FCrgen\\\U0001F511\\p.dll");
    EXPECT_EQ(wide("\xF0\x9F\x94\x91\xE2\x82\xAC"), u"\U0001F511\u20AC");
    EXPECT_EQ(wide(""), u"");
    for (const std::string& unusable :
         {std::string("a\xC0\x80.dll"), std::string("a\xFF.dll"), std::string("a\xE2\x82"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(wide(unusable)) << unusable;
    }
}

TEST(ModifiedUtf8, LabelFromTheFieldKeepsEveryBlank)
{
    const std::string label = std::string("Schl\xC3\xBCssel f\xFCr \xF0\x9F\x94\x91 x") + std::string(11, ' ');
    ASSERT_EQ(label.size(), 32u);
    EXPECT_EQ(javaRead(label), u"Schl\u00FCssel f\uFFFDr \U0001F511 x" + std::u16string(11, u' '));
}

TEST(ModifiedUtf8, DecodeReportsSequenceAndMaximalPrefix)
{
    const auto decode = [](const std::string& b) {
        return ModifiedUtf8::decode(reinterpret_cast<const unsigned char*>(b.data()), b.size());
    };
    const ModifiedUtf8::Sequence euro = decode("\xE2\x82\xAC!");
    EXPECT_TRUE(euro.valid);
    EXPECT_EQ(euro.length, 3u);
    EXPECT_EQ(euro.codePoint, 0x20ACu);
    const ModifiedUtf8::Sequence key = decode("\xF0\x9F\x94\x91");
    EXPECT_TRUE(key.valid);
    EXPECT_EQ(key.codePoint, 0x1F511u);
    const ModifiedUtf8::Sequence cut = decode("\xF0\x9F\x94");
    EXPECT_FALSE(cut.valid);
    EXPECT_EQ(cut.length, 3u);
    const ModifiedUtf8::Sequence wrongSecond = decode("\xF0\x80\x80\x80");
    EXPECT_FALSE(wrongSecond.valid);
    EXPECT_EQ(wrongSecond.length, 1u);
}

// Random bytes, a fixed seed and a bounded count: Java must always be able to
// read the result, and converting it again changes nothing.
TEST(ModifiedUtf8, AnyBytesGiveReadableTextThatIsStable)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> size(0, 40);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(static_cast<std::size_t>(size(random)), '\0');
        for (char& b : bytes) {
            b = static_cast<char>(byte(random));
        }
        const std::string once = converted(bytes);
        javaChars(once);
        ASSERT_EQ(converted(once), once) << "round " << round;
        if (HasFailure()) {
            FAIL() << "round " << round;
        }
    }
}
