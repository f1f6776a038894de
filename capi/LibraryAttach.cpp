// The attach count and shared instance, changed only under the named mutex.
#include "capi/LibraryAttach.h"

#include <new>

namespace CAPIBridge {

namespace {

// The attach state. Only attach and detach change it, holding the mutex.
HANDLE attachMutex = nullptr;
ORVcapi* attachedInstance = nullptr;
std::uint32_t attachCountValue = 0;

// Holds the mutex for one attach or detach. owns() is true only for a plain
// WAIT_OBJECT_0; an abandoned mutex is owned all the same and is given back,
// but the state it guarded is not trusted.
class MutexHold {
public:
    MutexHold(HANDLE mutex, DWORD waitMilliseconds) noexcept
        : mutex_(mutex), result_(WaitForSingleObject(mutex, waitMilliseconds))
    {
    }
    ~MutexHold()
    {
        if (result_ == WAIT_OBJECT_0 || result_ == static_cast<DWORD>(WAIT_ABANDONED)) {
            ReleaseMutex(mutex_);
        }
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

    bool owns() const noexcept { return result_ == WAIT_OBJECT_0; }

private:
    HANDLE mutex_;
    DWORD result_;
};

} // namespace

BOOL LibraryAttach::onNotification(HMODULE module, DWORD reason, DWORD waitMilliseconds) noexcept
{
    if (!ensureMutex()) {
        return FALSE;
    }
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return attach(module, waitMilliseconds);
    case DLL_PROCESS_DETACH:
        return detach(waitMilliseconds);
    default:
        return TRUE;
    }
}

ORVcapi* LibraryAttach::instance() noexcept
{
    return attachedInstance;
}

std::uint32_t LibraryAttach::attachCount() noexcept
{
    return attachCountValue;
}

bool LibraryAttach::ensureMutex() noexcept
{
    if (attachMutex == nullptr) {
        attachMutex = CreateMutexA(nullptr, FALSE, kMutexName);
    }
    return attachMutex != nullptr;
}

BOOL LibraryAttach::attach(HMODULE module, DWORD waitMilliseconds) noexcept
{
    DisableThreadLibraryCalls(module);
    MutexHold hold(attachMutex, waitMilliseconds);
    if (!hold.owns()) {
        return FALSE;
    }
    if (attachedInstance == nullptr) {
        attachedInstance = new (std::nothrow) ORVcapi();
        if (attachedInstance == nullptr) {
            return FALSE;
        }
        attachCountValue = 1;
    } else {
        ++attachCountValue;
    }
    return TRUE;
}

BOOL LibraryAttach::detach(DWORD waitMilliseconds) noexcept
{
    MutexHold hold(attachMutex, waitMilliseconds);
    if (!hold.owns()) {
        return FALSE;
    }
    // A detach without a matching attach must not wrap the count around.
    if (attachCountValue > 0) {
        --attachCountValue;
    }
    if (attachCountValue == 0 && attachedInstance != nullptr) {
        delete attachedInstance;
        attachedInstance = nullptr;
        attachCountValue = 0;
    }
    return TRUE;
}

} // namespace CAPIBridge
