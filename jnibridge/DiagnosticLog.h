// The diagnostic log support asks a user for: ORVNATIVE_LOG names a file (or
// "stderr") as the library loads, and every native, PKCS#11 call and Win32
// call of the CryptoAPI and registry bridges then writes one line there. With
// the variable unset, nothing is opened and each hook costs one branch.
//
//   if (DiagnosticLog::enabled()) { DiagnosticLog::write("pkcs11 C_Login(...) = CKR_OK (0.412 ms)"); }
//
// Lines carry no secrets: PINs show as '****', byte arrays as their lengths.
// Lines written while a thread holds a module's lock wait for the lock to be
// given back (HeldLines), so a slow reader of the log never holds up the
// module's other callers.
#ifndef ORV_JNIBRIDGE_DIAGNOSTICLOG_H
#define ORV_JNIBRIDGE_DIAGNOSTICLOG_H

#include <atomic>
#include <chrono>
#include <string>

namespace JNIBridge {

class DiagnosticLog {
public:
    using Clock = std::chrono::steady_clock;

    // Opens the destination once; null or empty leaves the log off. A
    // destination that cannot be opened is said once on standard error.
    static void open(const char* destination) noexcept;
    // Back to off, the file closed (tests).
    static void close() noexcept;

    static bool enabled() noexcept { return enabled_.load(std::memory_order_relaxed); }

    // Writes the UTC time in milliseconds, the thread id and body as one line.
    // Lines the destination cannot take at once are dropped and counted; the
    // count is written before the next line that goes through.
    static void write(const std::string& body) noexcept;

    // While one lives, this thread's lines are kept and written when the
    // outermost one goes. Declared just before a lock's guard, it writes
    // them after the lock is released:
    //
    //   const DiagnosticLog::HeldLines lines;
    //   const std::lock_guard<CallLock> calls(lock);
    class HeldLines {
    public:
        HeldLines() noexcept;
        ~HeldLines();
        HeldLines(const HeldLines&) = delete;
        HeldLines& operator=(const HeldLines&) = delete;

    private:
        // With the log off nothing is kept, and a log turned off meanwhile
        // (tests) still balances the count.
        bool holding_;
    };

    // " (1.234 ms)": the time since start.
    static std::string elapsedSince(Clock::time_point start);

    // The Java exception this thread last left pending ("class: message"),
    // kept for the line of the native that raised it.
    static void noteRaised(const char* className, const char* message) noexcept;
    static void clearRaised() noexcept;
    static const char* lastRaised() noexcept;

private:
    static std::atomic<bool> enabled_;
};

} // namespace JNIBridge

#endif
