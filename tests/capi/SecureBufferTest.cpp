// Tests SecureBuffer: zero-filled allocation, copies, and wiping what it releases.
#include "capi/SecureBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

using namespace CAPIBridge;

TEST(SecureBuffer, AllocationIsZeroFilledAndZeroSizeStaysEmpty)
{
    SecureBuffer buffer(16);
    ASSERT_FALSE(buffer.empty());
    ASSERT_EQ(16u, buffer.length());
    EXPECT_EQ(std::vector<unsigned char>(16, 0), std::vector<unsigned char>(buffer.data(), buffer.data() + 16));
    EXPECT_FALSE(buffer.allocate(0));
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(0u, buffer.length());
    EXPECT_EQ(nullptr, buffer.data());
}

TEST(SecureBuffer, CopyShrinkAndMoveKeepTheBytes)
{
    const unsigned char bytes[] = {1, 2, 3, 4, 5};
    SecureBuffer buffer(bytes, sizeof bytes);
    ASSERT_EQ(5u, buffer.length());
    EXPECT_EQ(0, std::memcmp(bytes, buffer.data(), 5));

    EXPECT_TRUE(buffer.shrinkTo(3));
    ASSERT_EQ(3u, buffer.length());
    EXPECT_EQ(0, std::memcmp(bytes, buffer.data(), 3));
    EXPECT_TRUE(buffer.shrinkTo(7)); // never grows
    EXPECT_EQ(3u, buffer.length());

    SecureBuffer moved(std::move(buffer));
    EXPECT_TRUE(buffer.empty());
    ASSERT_EQ(3u, moved.length());
    EXPECT_EQ(3, moved.data()[2]);

    SecureBuffer target(bytes, 1);
    target = std::move(moved);
    EXPECT_EQ(3u, target.length());
    EXPECT_TRUE(moved.empty());
}

TEST(SecureBuffer, ReallocationReleasesTheOldContents)
{
    const unsigned char bytes[] = {9, 9, 9};
    SecureBuffer buffer(bytes, sizeof bytes);
    ASSERT_TRUE(buffer.allocate(2));
    EXPECT_EQ(2u, buffer.length());
    EXPECT_EQ(0, buffer.data()[0]);
    buffer.release();
    EXPECT_TRUE(buffer.empty());
}
