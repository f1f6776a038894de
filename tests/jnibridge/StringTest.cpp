// Tests String: construction, appends, comparisons and terminators.
#include "jnibridge/String.h"

#include <gtest/gtest.h>

using JNIBridge::String;

TEST(String, ConstructionFormsAreTerminated)
{
    String fromNull(nullptr, 3, 9);
    EXPECT_EQ(fromNull.length(), 0u);
    EXPECT_STREQ(fromNull.c_str(), "");
    String zeros(3);
    EXPECT_EQ(zeros.length(), 3u);
    EXPECT_EQ(zeros.c_str()[3], '\0');
    String middle("abcdef", 1, 4);
    EXPECT_STREQ(middle.c_str(), "bcd");
}

TEST(String, AppendNumbersAsSigned32BitDecimal)
{
    String x("x");
    x.append(-5);
    EXPECT_STREQ(x.c_str(), "x-5");
    String y("x");
    y.append(static_cast<long>(0x80000000UL));
    EXPECT_STREQ(y.c_str(), "x-2147483648");
    String z;
    z.append(0).append(" ").append(2147483647);
    EXPECT_STREQ(z.c_str(), "0 2147483647");
}

TEST(String, AppendAndPlusLeaveOtherCopiesUnchanged)
{
    String base("PKCS11");
    String shared(base);
    shared.append("Slot");
    EXPECT_STREQ(base.c_str(), "PKCS11");
    EXPECT_STREQ(shared.c_str(), "PKCS11Slot");
    String joined = base + "::" + String("open");
    EXPECT_STREQ(joined.c_str(), "PKCS11::open");
    EXPECT_STREQ(base.c_str(), "PKCS11");
    base.append(static_cast<const char*>(nullptr)).append("");
    EXPECT_EQ(base.length(), 6u);
}

TEST(String, AppendStringStopsAtItsFirstNul)
{
    String withNul("ab\0cd", 0, 5);
    EXPECT_EQ(withNul.length(), 5u);
    String target("<");
    target.append(withNul).append(">");
    EXPECT_STREQ(target.c_str(), "<ab>");
}
