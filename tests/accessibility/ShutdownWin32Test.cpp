// jniShutdownNativeAccessibility against real (hidden) windows under Wine:
// each window lives on its own thread with its own message loop.
#include "accessibility/AccessibilityShutdown.h"

#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

namespace {

const char kClassName[] = "ORVNativeTestWindow";
const std::chrono::seconds kLoopTimeout(10);

void registerClassOnce()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass); // ERROR_CLASS_ALREADY_EXISTS on later calls is fine
}

// A hidden top-level window whose thread runs GetMessage until it returns 0
// (WM_QUIT), then reports the exit code it received.
class WindowThread {
public:
    explicit WindowThread(const std::string& title)
    {
        std::future<HWND> window = created_.get_future();
        thread_ = std::thread([this, title] { run(title); });
        handle_ = window.get();
    }

    ~WindowThread()
    {
        if (thread_.joinable()) {
            if (handle_ != nullptr && !loopEnded(std::chrono::milliseconds(0))) {
                PostMessageA(handle_, WM_QUIT, 99, 0);
            }
            thread_.join();
        }
    }

    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    HWND handle() const { return handle_; }

    bool loopEnded(std::chrono::milliseconds wait)
    {
        return exitCode_.valid() && exitCode_.wait_for(wait) == std::future_status::ready;
    }

    WPARAM exitCode() { return exitCode_.get(); }

private:
    void run(const std::string& title)
    {
        registerClassOnce();
        HWND window = CreateWindowExA(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        created_.set_value(window);
        if (window == nullptr) {
            finished_.set_value(static_cast<WPARAM>(-1));
            return;
        }
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
        DestroyWindow(window);
        finished_.set_value(message.wParam);
    }

    std::promise<HWND> created_;
    std::promise<WPARAM> finished_;
    std::future<WPARAM> exitCode_ = finished_.get_future();
    HWND handle_ = nullptr;
    std::thread thread_;
};

TEST(AccessibilityShutdown, StatusWindowLoopEndsWithExitCodeZero)
{
    WindowThread status("Access Bridge status");
    ASSERT_NE(status.handle(), nullptr) << "CreateWindowExA failed: " << GetLastError();
    ASSERT_EQ(FindWindowA(nullptr, "Access Bridge status"), status.handle());
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    ASSERT_TRUE(status.loopEnded(kLoopTimeout));
    EXPECT_EQ(status.exitCode(), 0u);
}

TEST(AccessibilityShutdown, OtherWindowsAreLeftRunning)
{
    ASSERT_EQ(FindWindowA(nullptr, "Access Bridge status"), nullptr);
    WindowThread other("Access Bridge status (old)");
    ASSERT_NE(other.handle(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    IncomingNativeUtils_jniShutdownNativeAccessibility(nullptr, nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(other.loopEnded(std::chrono::milliseconds(300)));
}

} // namespace
