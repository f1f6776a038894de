// Tests the Common exception family's description texts and codes.
#include "common/Exception.h"

#include <gtest/gtest.h>

#include <string>

TEST(CommonException, DescriptionFormat)
{
    Common::NoMoreElementsException e("No more registry keys.");
    EXPECT_STREQ(e.getDescription(), "No more registry keys.. Error code HEX: 0x0. Error code dec: 0.\n");
    EXPECT_EQ(e.getErrorCode(), 0);
}

TEST(CommonException, CodesShowAsUnsignedHexAndSignedDecimal)
{
    Common::Exception capi("x", static_cast<std::int32_t>(0x80090016u));
    EXPECT_STREQ(capi.getDescription(), "x. Error code HEX: 0x80090016. Error code dec: -2146893802.\n");
    Common::Exception own("y", -999);
    EXPECT_STREQ(own.getDescription(), "y. Error code HEX: 0xFFFFFC19. Error code dec: -999.\n");
}

TEST(CommonException, NullMessageHasAStandInText)
{
    Common::UserCancelledException e(nullptr, 5);
    EXPECT_EQ(std::string(e.getDescription()),
              "Invalid description parameter. See Exception.. Error code HEX: 0x5. Error code dec: 5.\n");
}

TEST(CommonException, KindsAreCaughtAsTheBaseAndCopiesOwnTheirText)
{
    try {
        throw Common::RegistryAccessException("Could not open registry key.", 2);
    } catch (const Common::Exception& e) {
        Common::Exception copy(e);
        EXPECT_EQ(copy.getErrorCode(), 2);
        EXPECT_NE(copy.getDescription(), e.getDescription());
        EXPECT_STREQ(copy.getDescription(), e.getDescription());
    }
    const std::string longMessage(5000, 'm');
    Common::IllegalArguementException big(longMessage.c_str(), -1);
    EXPECT_EQ(std::string(big.getDescription()).size(),
              5000 + std::string(". Error code HEX: 0xFFFFFFFF. Error code dec: -1.\n").size());
}
