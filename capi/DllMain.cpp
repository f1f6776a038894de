// The DLL's entry point for process attach and detach.
#include "capi/LibraryAttach.h"

// The shipped DLL waits LibraryAttach::kWaitMilliseconds; the attach tests
// build a copy with a short wait so that running it out costs no 30 s.
#ifndef ORV_ATTACH_WAIT_MILLISECONDS
#define ORV_ATTACH_WAIT_MILLISECONDS CAPIBridge::LibraryAttach::kWaitMilliseconds
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/)
{
    return CAPIBridge::LibraryAttach::onNotification(module, reason, ORV_ATTACH_WAIT_MILLISECONDS);
}
