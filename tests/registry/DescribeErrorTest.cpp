// describeError: our own frame around the system's text. The system's words
// differ between Windows, Wine and the stand-in, so only their presence and
// our frame are compared.
#include "registry/DescribeError.h"

#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using RegistryBridge::describeError;

namespace {

TEST(DescribeError, FramesTheSystemTextOfAKnownCode)
{
    const std::string text = describeError("Could not open registry key.", ERROR_FILE_NOT_FOUND);
    const std::string head = "Could not open registry key.\nThe error code is: 2\nThe error message is: ";
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    ASSERT_EQ(text.back(), '\n');
    // The system's own text sits between the frame and the final line feed.
    EXPECT_GT(text.size(), head.size() + 1);
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST(DescribeError, CodeWithoutSystemTextLeavesTheTextEmpty)
{
    EXPECT_EQ(describeError("m", 0x2000ABCD), "m\nThe error code is: 536914893\nThe error message is: \n");
}

TEST(DescribeError, CodesAreSignedDecimal)
{
    const std::string text = describeError("x", static_cast<std::int32_t>(0xA0001234u));
    EXPECT_EQ(text.rfind("x\nThe error code is: -1610608076\nThe error message is: ", 0), 0u) << text;
}

TEST(DescribeError, NullMessageGivesAnEmptyLead)
{
    EXPECT_EQ(describeError(nullptr, 0x2000ABCD).rfind("\nThe error code is: 536914893\n", 0), 0u);
}

} // namespace
