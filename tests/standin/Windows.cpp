// A process-local table of titled top-level windows, standing in for the
// desktop that FindWindowA searches. One list, guarded by its own lock.
#include "tests/standin/StandInWindows.h"

#include "tests/standin/Common.h"

#include <algorithm>
#include <mutex>

namespace orv::platform {
namespace {

struct Window {
    std::uintptr_t id;
    std::string title;
    std::string className;
    std::vector<standin::PostedMessage> posted;
};

struct WindowTable {
    std::mutex lock;
    std::vector<Window> windows;
    std::uintptr_t nextId = 0x10010;
};

WindowTable& windowTable()
{
    static WindowTable table;
    return table;
}

std::uintptr_t idOf(HWND window)
{
    return reinterpret_cast<std::uintptr_t>(window);
}

Window* findById(WindowTable& table, HWND window)
{
    auto it =
        std::find_if(table.windows.begin(), table.windows.end(), [&](const Window& w) { return w.id == idOf(window); });
    return it == table.windows.end() ? nullptr : &*it;
}

} // namespace
} // namespace orv::platform

namespace orv::standin {

using platform::windowTable;

HWND addWindow(const std::string& title, const std::string& className)
{
    auto& table = windowTable();
    std::lock_guard<std::mutex> guard(table.lock);
    std::uintptr_t id = table.nextId;
    table.nextId += 2;
    table.windows.push_back({id, title, className, {}});
    return reinterpret_cast<HWND>(id);
}

bool removeWindow(HWND window)
{
    auto& table = windowTable();
    std::lock_guard<std::mutex> guard(table.lock);
    auto sizeBefore = table.windows.size();
    table.windows.erase(std::remove_if(table.windows.begin(), table.windows.end(),
                                       [&](const platform::Window& w) { return w.id == platform::idOf(window); }),
                        table.windows.end());
    return table.windows.size() != sizeBefore;
}

std::vector<PostedMessage> postedMessages(HWND window)
{
    auto& table = windowTable();
    std::lock_guard<std::mutex> guard(table.lock);
    platform::Window* found = platform::findById(table, window);
    return found ? found->posted : std::vector<PostedMessage>{};
}

std::size_t postedMessageCount(HWND window)
{
    return postedMessages(window).size();
}

} // namespace orv::standin

using namespace orv::platform;

extern "C" {

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
    auto& table = windowTable();
    std::lock_guard<std::mutex> guard(table.lock);
    for (const Window& window : table.windows) {
        // Windows compares both names without regard to case.
        if (lpClassName != nullptr && !equalsIgnoreCase(window.className, lpClassName)) {
            continue;
        }
        if (lpWindowName != nullptr && !equalsIgnoreCase(window.title, lpWindowName)) {
            continue;
        }
        return reinterpret_cast<HWND>(window.id);
    }
    return nullptr;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    auto& table = windowTable();
    std::lock_guard<std::mutex> guard(table.lock);
    Window* window = findById(table, hWnd);
    if (window == nullptr) {
        return fail(ERROR_INVALID_WINDOW_HANDLE);
    }
    window->posted.push_back({Msg, wParam, lParam});
    return TRUE;
}

} // extern "C"
