// System texts with inserts exist only on Windows and Wine, not in the stand-in.
#include "registry/DescribeError.h"

#include <gtest/gtest.h>

#include <string>

using RegistryBridge::describeError;

namespace {

TEST(DescribeErrorWin32, InsertsInTheSystemTextStayAsTheyAre)
{
    // ERROR_BAD_EXE_FORMAT: "%1 is not a valid Win32 application." on Windows,
    // "Bad EXE format for %1." in Wine.
    const std::string text = describeError("m", 193);
    const std::string head = "m\nThe error code is: 193\nThe error message is: ";
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    EXPECT_NE(text.find("%1", head.size()), std::string::npos) << text;
}

} // namespace
