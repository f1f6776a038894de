// The DLL's entry point for process attach and detach.
#include "capi/LibraryAttach.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/)
{
    return LibraryAttach::onNotification(module, reason);
}
