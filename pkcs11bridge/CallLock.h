// The lock under which the calls into one loaded library take turns, first
// come, first served.
#ifndef ORV_PKCS11BRIDGE_CALLLOCK_H
#define ORV_PKCS11BRIDGE_CALLLOCK_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace PKCS11Bridge {

// A ticket lock. With a plain mutex, a thread that signs in a loop takes the
// lock again before a woken waiter runs, and a poller beside it waits through
// several signatures; here each caller waits only for those that asked before
// it. Not recursive. Uncontended, taking and giving it back are one atomic
// step each, without the wait mutex.
class CallLock {
public:
    CallLock() = default;
    CallLock(const CallLock&) = delete;
    CallLock& operator=(const CallLock&) = delete;

    void lock()
    {
        const std::uint32_t ticket = nextTicket_.fetch_add(1);
        if (serving_.load() != ticket) {
            waitForTurn(ticket);
        }
    }

    void unlock()
    {
        // Only the holder writes serving_. A ticket beyond the one now served
        // means a caller waits, or is about to.
        const std::uint32_t next = serving_.load(std::memory_order_relaxed) + 1;
        serving_.store(next);
        if (nextTicket_.load() != next) {
            wakeWaiters();
        }
    }

    // Callers that hold the lock or wait for it, for diagnostics and tests.
    std::uint32_t getCallerCount() const noexcept { return nextTicket_.load() - serving_.load(); }

private:
    void waitForTurn(std::uint32_t ticket);
    void wakeWaiters();

    // Tickets wrap around; they are only ever compared for equality.
    std::atomic<std::uint32_t> nextTicket_{0};
    std::atomic<std::uint32_t> serving_{0};
    std::mutex waitMutex_;
    std::condition_variable turn_;
};

} // namespace PKCS11Bridge

#endif
