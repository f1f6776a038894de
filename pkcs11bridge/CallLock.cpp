// Waiting for a turn at a library's call lock, and handing the turn on.
#include "pkcs11bridge/CallLock.h"

namespace PKCS11Bridge {

void CallLock::waitForTurn(std::uint32_t ticket)
{
    std::unique_lock<std::mutex> guard(waitMutex_);
    turn_.wait(guard, [&] { return serving_.load() == ticket; });
}

// Taking the wait mutex once orders this wake-up after the check of any waiter
// that has not yet gone to sleep. Every waiter wakes and reads its ticket;
// only the one now served goes on.
void CallLock::wakeWaiters()
{
    {
        const std::lock_guard<std::mutex> guard(waitMutex_);
    }
    turn_.notify_all();
}

} // namespace PKCS11Bridge
