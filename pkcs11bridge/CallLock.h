// The lock under which the calls into one loaded library take turns, first
// come, first served.
#ifndef ORV_PKCS11BRIDGE_CALLLOCK_H
#define ORV_PKCS11BRIDGE_CALLLOCK_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace PKCS11Bridge {

// A ticket lock. With a plain mutex, a thread that signs in a loop takes the
// lock again before a woken waiter runs, and a poller beside it waits through
// several signatures; here each caller waits only for those that asked before
// it. Not recursive. Uncontended, taking and giving it back are one atomic
// step each, without the wait mutex.
//
// Most turns last a few microseconds, far less than putting a thread to sleep
// and waking it again, so a caller close to its turn spins for a while before
// it sleeps. Sleepers wait on the turn slot of their ticket, and a handover
// wakes that slot alone.
class CallLock {
public:
    // Measured on the 2-core build machine: a turn for generateRandom(32) or
    // one digest step holds the lock 1.3 to 1.6 us, getTokenInfo about 36 us
    // (SoftHSM2 reads its token's state), a signature about 1 ms; a sleeping
    // thread took 3.5 us to run again after its wake-up when a core was free,
    // 25 us (9 in 10) to 47 us (99 in 100) on the loaded machine. 50 us
    // outlasts a getTokenInfo turn, and spinning no longer than a sleep and
    // wake-up would cost at worst wastes what the sleep would have; beyond it
    // the turn is a long call or its holder has lost its core, and sleeping
    // costs little beside that.
    static constexpr std::chrono::microseconds kDefaultSpinLimit{50};

    // spinLimit: how long a caller close to its turn spins before it sleeps.
    explicit CallLock(std::chrono::microseconds spinLimit = kDefaultSpinLimit) noexcept : spinLimit_(spinLimit) {}
    CallLock(const CallLock&) = delete;
    CallLock& operator=(const CallLock&) = delete;

    // Cannot fail: a ticket once drawn is always waited out, or the callers
    // behind it would wait for ever (a failing wait mutex ends the process).
    void lock() noexcept
    {
        const std::uint32_t ticket = nextTicket_.fetch_add(1);
        if (serving_.load() != ticket) {
            waitForTurn(ticket);
        }
    }

    void unlock() noexcept
    {
        // Only the holder writes serving_. A sleeper counted after this store
        // reads the new value before it sleeps, so none is missed.
        const std::uint32_t next = serving_.load(std::memory_order_relaxed) + 1;
        serving_.store(next);
        if (sleepers_.load() != 0) {
            wake(next);
        }
    }

    // Callers that hold the lock or wait for it, for diagnostics and tests.
    std::uint32_t getCallerCount() const noexcept { return nextTicket_.load() - serving_.load(); }

private:
    // Waiters sharing a slot (more than this many at once) all wake and
    // check their ticket.
    static constexpr std::uint32_t kTurnSlots = 16;

    void waitForTurn(std::uint32_t ticket) noexcept;
    bool spinForTurn(std::uint32_t ticket) const noexcept;
    void wake(std::uint32_t ticket) noexcept;

    const std::chrono::microseconds spinLimit_;
    // Tickets wrap around; they are only compared for equality or subtracted,
    // which the wrap leaves right.
    std::atomic<std::uint32_t> nextTicket_{0};
    std::atomic<std::uint32_t> serving_{0};
    // Waiters asleep or about to be; changed under waitMutex_.
    std::atomic<std::uint32_t> sleepers_{0};
    std::mutex waitMutex_;
    std::condition_variable turns_[kTurnSlots];
};

} // namespace PKCS11Bridge

#endif
