// Test hooks for the stand-in's window table (Linux only). FindWindowA and
// PostMessageA see the windows added here; tests inspect what was posted.
#ifndef ORV_PLATFORM_STAND_IN_WINDOWS_H
#define ORV_PLATFORM_STAND_IN_WINDOWS_H

#include "platform/Win32.h"

#include <cstddef>
#include <string>
#include <vector>

namespace orv::standin {

struct PostedMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Adds a top-level window; windows are found in the order they were added.
HWND addWindow(const std::string& title, const std::string& className = "StandInWindow");
// Removes it; false when the handle is not a window (any more).
bool removeWindow(HWND window);
// Messages posted to the window so far, oldest first; empty for a non-window.
std::vector<PostedMessage> postedMessages(HWND window);
std::size_t postedMessageCount(HWND window);

} // namespace orv::standin

#endif
