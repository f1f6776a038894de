// What the DLL does when Windows attaches it to a process or detaches it:
// under the named mutex "MutexToORVcapi" it creates the single ORVcapi
// instance on the first attach and destroys it on the last detach. DllMain
// (DllMain.cpp, in the DLL only) forwards here, so the logic is testable
// without the loader.
#ifndef ORV_CAPI_LIBRARYATTACH_H
#define ORV_CAPI_LIBRARYATTACH_H

#include "capi/ORVcapi.h"
#include "platform/Win32.h"

#include <cstdint>

namespace CAPIBridge {

class LibraryAttach {
public:
    static constexpr const char* kMutexName = "MutexToORVcapi";
    static constexpr DWORD kWaitMilliseconds = 30000;

    // DllMain's answer for one notification. Tests pass a shorter wait to see
    // it run out without spending the shipped 30 s.
    static BOOL onNotification(HMODULE module, DWORD reason, DWORD waitMilliseconds = kWaitMilliseconds) noexcept;

    // The attach state, for inspection; read without the mutex.
    static ORVcapi* instance() noexcept;
    static std::uint32_t attachCount() noexcept;

private:
    static BOOL attach(HMODULE module, DWORD waitMilliseconds) noexcept;
    static BOOL detach(DWORD waitMilliseconds) noexcept;
    static bool ensureMutex() noexcept;
};

} // namespace CAPIBridge

#endif
