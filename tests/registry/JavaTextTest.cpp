// Registry bytes on their way to Java: what may go to NewStringUTF as is,
// and how everything else is decoded.
#include "registry/JavaText.h"

#include <gtest/gtest.h>

#include <string>

using RegistryBridge::JavaText;

namespace {

TEST(JavaText, AsciiAndWellFormedShortSequencesPassUnchanged)
{
    EXPECT_TRUE(JavaText::isModifiedUtf8(""));
    EXPECT_TRUE(JavaText::isModifiedUtf8("Software\\Microsoft"));
    EXPECT_TRUE(JavaText::isModifiedUtf8("caf\xC3\xA9"));  // é
    EXPECT_TRUE(JavaText::isModifiedUtf8("\xE2\x82\xAC")); // €
}

TEST(JavaText, OtherBytesAreNotGivenToNewStringUTF)
{
    EXPECT_FALSE(JavaText::isModifiedUtf8("caf\xE9"));              // Latin-1 é
    EXPECT_FALSE(JavaText::isModifiedUtf8("\xC3"));                 // cut sequence
    EXPECT_FALSE(JavaText::isModifiedUtf8("\xC0\xAF"));             // overlong '/'
    EXPECT_FALSE(JavaText::isModifiedUtf8("\xF0\x9F\x98\x80"));     // four bytes: standard UTF-8 only
    EXPECT_FALSE(JavaText::isModifiedUtf8(std::string("a\0b", 3))); // NUL byte
    EXPECT_FALSE(JavaText::isModifiedUtf8("\xFF\xFE"));
}

TEST(JavaText, WellFormedUtf8DecodesAsUtf8)
{
    EXPECT_EQ(JavaText::toUtf16("caf\xC3\xA9"), u"caf\u00E9");
    EXPECT_EQ(JavaText::toUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(JavaText, AnythingElseDecodesByteForByte)
{
    EXPECT_EQ(JavaText::toUtf16("caf\xE9"), u"caf\u00E9");
    EXPECT_EQ(JavaText::toUtf16("A\xFF\xC3"), u"A\u00FF\u00C3");
    // An encoded surrogate is not standard UTF-8: each byte stands for itself.
    EXPECT_EQ(JavaText::toUtf16("\xED\xA0\x80"), u"\u00ED\u00A0\u0080");
}

} // namespace
