// jniShutdownNativeAccessibility over the stand-in's window table.
#include "accessibility/AccessibilityShutdown.h"

#include "tests/standin/StandInWindows.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

namespace {

using orv::standin::addWindow;
using orv::standin::postedMessages;
using orv::standin::removeWindow;

// A window that leaves the shared table when the test ends.
struct Remove {
    void operator()(HWND window) const { removeWindow(window); }
};
using TableWindow = std::unique_ptr<std::remove_pointer_t<HWND>, Remove>;

TEST(AccessibilityShutdown, PostsQuitWithExitCodeZeroToTheStatusWindow)
{
    TableWindow other(addWindow("Some other window"));
    TableWindow status(addWindow("Access Bridge status"));
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    const auto posted = postedMessages(status.get());
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(posted[0].wParam, 0u);
    EXPECT_EQ(posted[0].lParam, 0);
    EXPECT_TRUE(postedMessages(other.get()).empty());
}

TEST(AccessibilityShutdown, WithoutTheWindowNothingIsPosted)
{
    TableWindow other(addWindow("Access Bridge status (old)"));
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    EXPECT_TRUE(postedMessages(other.get()).empty());
}

TEST(AccessibilityShutdown, OnlyTheWindowFoundFirstIsAsked)
{
    TableWindow first(addWindow("Access Bridge status"));
    TableWindow second(addWindow("Access Bridge status"));
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    EXPECT_EQ(postedMessages(first.get()).size(), 1u);
    EXPECT_TRUE(postedMessages(second.get()).empty());
}

TEST(AccessibilityShutdown, EachCallPostsAgain)
{
    TableWindow status(addWindow("Access Bridge status"));
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    const auto posted = postedMessages(status.get());
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].msg, static_cast<UINT>(WM_QUIT));
}

} // namespace
