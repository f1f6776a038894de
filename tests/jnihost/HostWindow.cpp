// The "Access Bridge status" window the accessibility native posts to under Wine.
#include "HostWindow.h"

#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>

namespace {

const char kClassName[] = "OrvJniHostStatusWindow";

} // namespace

HostWindow::HostWindow()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    handle_ = CreateWindowExA(0, kClassName, "Access Bridge status", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                              nullptr, wc.hInstance, nullptr);
    if (handle_ == nullptr) {
        throw std::runtime_error("CreateWindowExA failed, error " + std::to_string(GetLastError()));
    }
}

HostWindow::~HostWindow()
{
    DestroyWindow(static_cast<HWND>(handle_));
}

bool HostWindow::quitReceived()
{
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        quit = quit || message.message == WM_QUIT;
    }
    return quit;
}

#else

HostWindow::HostWindow()
{
    throw std::runtime_error("windows exist only on Windows");
}

HostWindow::~HostWindow() = default;

bool HostWindow::quitReceived()
{
    return false;
}

#endif
