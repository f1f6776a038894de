// A desktop without windows: FindWindowA finds none, PostMessageA has no target.
#include "platform/linux/Failure.h"

using namespace orv::platform;

extern "C" {

HWND WINAPI FindWindowA(LPCSTR, LPCSTR)
{
    return nullptr;
}

BOOL WINAPI PostMessageA(HWND, UINT, WPARAM, LPARAM)
{
    return fail(ERROR_INVALID_WINDOW_HANDLE);
}

} // extern "C"
