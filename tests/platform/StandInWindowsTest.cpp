// The stand-in's window table, seen through FindWindowA and PostMessageA.
#include "tests/standin/StandInWindows.h"
#include "TestSupport.h"

namespace {

TEST(Windows, FindWindowFindsTheFirstTitleMatch)
{
    EXPECT_EQ(nullptr, FindWindowA(nullptr, "Access Bridge status"));
    HWND first = orv::standin::addWindow("Access Bridge status");
    HWND second = orv::standin::addWindow("Access Bridge status");
    HWND other = orv::standin::addWindow("Something else", "OtherClass");
    EXPECT_EQ(first, FindWindowA(nullptr, "Access Bridge status"));
    EXPECT_EQ(first, FindWindowA(nullptr, "access bridge STATUS"));
    EXPECT_EQ(other, FindWindowA("OtherClass", nullptr));
    EXPECT_EQ(nullptr, FindWindowA("OtherClass", "Access Bridge status"));
    EXPECT_TRUE(orv::standin::removeWindow(first));
    EXPECT_EQ(second, FindWindowA(nullptr, "Access Bridge status"));
    EXPECT_TRUE(orv::standin::removeWindow(second));
    EXPECT_TRUE(orv::standin::removeWindow(other));
    EXPECT_FALSE(orv::standin::removeWindow(other));
}

TEST(Windows, PostMessageRecordsWhatWasPosted)
{
    HWND window = orv::standin::addWindow("Posted to");
    EXPECT_TRUE(PostMessageA(window, WM_QUIT, 0, 0));
    EXPECT_TRUE(PostMessageA(window, WM_CLOSE, 7, -3));
    std::vector<orv::standin::PostedMessage> posted = orv::standin::postedMessages(window);
    ASSERT_EQ(2u, posted.size());
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), posted[0].msg);
    EXPECT_EQ(0u, posted[0].wParam);
    EXPECT_EQ(7u, posted[1].wParam);
    EXPECT_EQ(-3, posted[1].lParam);
    orv::standin::removeWindow(window);
    ORV_EXPECT_FAILS(PostMessageA(window, WM_QUIT, 0, 0), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(0u, orv::standin::postedMessageCount(window));
}

} // namespace
