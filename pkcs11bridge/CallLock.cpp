// Waiting for a turn at a library's call lock, and handing the turn on.
#include "pkcs11bridge/CallLock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace PKCS11Bridge {

namespace {

// Tells the core that this is a wait loop: it lets the other hardware thread
// run and avoids the mis-speculation penalty when the awaited store lands.
inline void spinPause() noexcept
{
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#else
    std::atomic_signal_fence(std::memory_order_seq_cst);
#endif
}

// Clock reads between this many pauses keep them off the handover's path.
constexpr int kPausesPerClockRead = 64;

} // namespace

// Spinning gains only while the holder, the callers ahead and this one each
// have a core: with more, spinners take the cores the callers ahead need, and
// those behind could not go on before several handovers anyway. (Waking the
// next in line a turn early to spin took 8 threads on 2 busy cores from 0.3
// to 0.05 of one thread's rate.)
void CallLock::waitForTurn(std::uint32_t ticket) noexcept
{
    static const std::uint32_t cores = std::max(1u, std::thread::hardware_concurrency());
    if (ticket - serving_.load() < cores && spinForTurn(ticket)) {
        return;
    }
    std::unique_lock<std::mutex> guard(waitMutex_);
    sleepers_.fetch_add(1);
    turns_[ticket % kTurnSlots].wait(guard, [&] { return serving_.load() == ticket; });
    sleepers_.fetch_sub(1);
}

bool CallLock::spinForTurn(std::uint32_t ticket) const noexcept
{
    const auto deadline = std::chrono::steady_clock::now() + spinLimit_;
    for (;;) {
        for (int i = 0; i < kPausesPerClockRead; ++i) {
            if (serving_.load(std::memory_order_acquire) == ticket) {
                return true;
            }
            spinPause();
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
}

// Taking the wait mutex once orders this wake-up after the check of a waiter
// that has counted itself but not yet gone to sleep. Only waiters whose ticket
// shares the slot wake, and of them only the one now served goes on.
void CallLock::wake(std::uint32_t ticket) noexcept
{
    {
        const std::lock_guard<std::mutex> guard(waitMutex_);
    }
    turns_[ticket % kTurnSlots].notify_all();
}

} // namespace PKCS11Bridge
