// jniShutdownNativeAccessibility over the stand-in's window table.
#include "accessibility/AccessibilityShutdown.h"

#include "platform/StandInWindows.h"

#include <gtest/gtest.h>

namespace {

using orv::standin::addWindow;
using orv::standin::postedMessages;
using orv::standin::removeWindow;

// A window that leaves the shared table when the test ends.
class TableWindow {
public:
    explicit TableWindow(const char* title) : handle_(addWindow(title)) {}
    ~TableWindow() { removeWindow(handle_); }
    TableWindow(const TableWindow&) = delete;
    TableWindow& operator=(const TableWindow&) = delete;
    HWND get() const { return handle_; }

private:
    HWND handle_;
};

TEST(AccessibilityShutdown, PostsQuitWithExitCodeZeroToTheStatusWindow)
{
    TableWindow other("Some other window");
    TableWindow status("Access Bridge status");
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
    TableWindow other("Access Bridge status (old)");
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    EXPECT_TRUE(postedMessages(other.get()).empty());
}

TEST(AccessibilityShutdown, OnlyTheWindowFoundFirstIsAsked)
{
    TableWindow first("Access Bridge status");
    TableWindow second("Access Bridge status");
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    EXPECT_EQ(postedMessages(first.get()).size(), 1u);
    EXPECT_TRUE(postedMessages(second.get()).empty());
}

TEST(AccessibilityShutdown, EachCallPostsAgain)
{
    TableWindow status("Access Bridge status");
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    const auto posted = postedMessages(status.get());
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].msg, static_cast<UINT>(WM_QUIT));
}

} // namespace
