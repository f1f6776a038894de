// Many threads on one module whose single-threaded mode counts every moment two
// threads are inside it at once. Calls go through PKCS11SlotCall, as the natives
// make them; the same load without it shows that the count does see overlaps.
#include "MockModuleFixture.h"

#include "pkcs11bridge/PKCS11SlotCall.h"
#include "pkcs11bridge/PKCS11TokenInfo.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using JNIBridge::ByteArray;
using PKCS11Bridge::Certificate;
using PKCS11Bridge::PKCS11Exception;
using PKCS11Bridge::PKCS11SlotCall;
using namespace PKCS11Test;

namespace {

constexpr CK_FLAGS readWrite = CKF_RW_SESSION | CKF_SERIAL_SESSION;

// What a run saw: successes per family, clean bridge failures, and anything
// else (a wrong result or a foreign exception), which no run may see.
struct Tally {
    std::atomic<unsigned long> successes[7] = {};
    std::atomic<unsigned long> cleanFailures{0};
    std::mutex wrongMutex;
    std::vector<std::string> wrong;

    void wrongResult(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(wrongMutex);
        wrong.push_back(what);
    }
};

// Waits, within a generous bound, until the condition holds.
bool eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 10000 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

class ModuleLockTest : public MockModuleTest {
protected:
    void SetUp() override
    {
        MockModuleTest::SetUp();
        mock().log_enable(0);
        mock().set_single_threaded(1);
    }

    void TearDown() override
    {
        mock().set_single_threaded(0);
        mock().log_enable(1);
        MockModuleTest::TearDown();
    }

    // One family of natives, as one locked sequence each.
    void step(unsigned int family, unsigned int round, Tally& tally)
    {
        const unsigned int index = round % 2 == 0 ? indexA : indexC;
        const ByteArray data = bytes("round " + std::to_string(round));
        switch (family) {
        case 0: { // sessions and login
            PKCS11SlotCall slot(*module, index);
            slot->openSession(readWrite);
            slot->login(JNIBridge::String(index == indexA ? "1234" : "1111"), CKU_USER);
            if (!slot->getSessionOpened()) {
                tally.wrongResult("session lost after login");
            }
            break;
        }
        case 1: { // token info
            const PKCS11Bridge::PKCS11TokenInfo info(*PKCS11SlotCall(*module, index));
            const std::string expected = index == indexA ? "P11Mock Token A" : "P11Mock Token C";
            if (std::string(info.getLabel().c_str()).compare(0, expected.size(), expected) != 0) {
                tally.wrongResult(std::string("label ") + info.getLabel().c_str());
            }
            break;
        }
        case 2: { // certificate listing (token A holds a certificate without CKA_ID, which fails)
            PKCS11SlotCall slot(*module, indexC);
            slot->openSession(readWrite);
            const size_t count = slot->getCertificates(CKC_X_509).size();
            if (count != 1) {
                tally.wrongResult("certificates: " + std::to_string(count));
            }
            break;
        }
        case 3:   // sign and verify
        case 4: { // encrypt and decrypt
            PKCS11SlotCall slot(*module, indexA);
            slot->openSession(readWrite);
            const Certificate certificate = certificateOf(*slot, P11MOCK_CERT_A);
            if (family == 3) {
                const ByteArray signature = slot->signData(certificate, data, CKM_SHA256_RSA_PKCS);
                if (!slot->verifyData(certificate, data, signature, CKM_SHA256_RSA_PKCS)) {
                    tally.wrongResult("signature does not verify");
                }
            } else if (text(slot->decryptData(certificate, slot->encryptData(certificate, data, CKM_RSA_PKCS),
                                              CKM_RSA_PKCS)) != text(data)) {
                tally.wrongResult("decryption differs");
            }
            break;
        }
        case 5: { // digest, one native per call as Java makes them
            PKCS11SlotCall(*module, indexA)->openSession(readWrite);
            PKCS11SlotCall(*module, indexA)->digestInit(CKM_SHA_1);
            PKCS11SlotCall(*module, indexA)->digestUpdate(data);
            const ByteArray digest = PKCS11SlotCall(*module, indexA)->digestFinal();
            if (digest.length() != 20) {
                tally.wrongResult("digest length " + std::to_string(digest.length()));
            }
            break;
        }
        default: { // random, and now and then a refresh, which takes the lock itself
            {
                PKCS11SlotCall slot(*module, indexA);
                slot->openSession(readWrite);
                if (slot->generateRandom(32).length() != 32) {
                    tally.wrongResult("random length");
                }
            }
            if (round % 25 == 0) {
                module->refresh();
            }
            break;
        }
        }
        tally.successes[family]++;
    }

    void runThreads(unsigned int threads, unsigned int rounds,
                    const std::function<void(unsigned int, unsigned int)>& body)
    {
        std::vector<std::thread> workers;
        for (unsigned int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (unsigned int round = 0; round < rounds; ++round) {
                    body(t, round);
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
    }
};

// Without the lock the mode must notice: otherwise a zero below proves nothing.
TEST_F(ModuleLockTest, OverlapsAreCountedWhenCallersBypassTheLock)
{
    openedSlot(indexA);
    std::atomic<unsigned long> calls{0};
    runThreads(4, 2000, [&](unsigned int, unsigned int) {
        if (mock().overlap_count() > 0) {
            return;
        }
        try {
            s->generateRandom(8);
        } catch (const PKCS11Exception&) {
        }
        calls++;
    });
    EXPECT_GT(mock().overlap_count(), 0u) << "after " << calls.load() << " unlocked calls";
}

TEST_F(ModuleLockTest, EveryFamilyFromEightThreadsNeverOverlaps)
{
    Tally tally;
    runThreads(8, 140, [&](unsigned int thread, unsigned int round) {
        try {
            step((thread + round) % 7, round, tally);
        } catch (const PKCS11Exception&) {
            // A refresh forgets the slots' sessions; digests of two threads
            // meet in the shared session. Both fail cleanly.
            tally.cleanFailures++;
        } catch (const std::exception& e) {
            tally.wrongResult(std::string("foreign exception: ") + e.what());
        }
    });
    EXPECT_EQ(mock().overlap_count(), 0u);
    EXPECT_TRUE(tally.wrong.empty()) << tally.wrong.front();
    unsigned long total = tally.cleanFailures.load();
    for (unsigned int family = 0; family < 7; ++family) {
        EXPECT_GT(tally.successes[family].load(), 0u) << "family " << family;
        total += tally.successes[family].load();
    }
    EXPECT_EQ(total, 8u * 140u);
}

TEST_F(ModuleLockTest, ModulesLoadedTwiceShareOneLock)
{
    openedSlot(indexA);
    std::atomic<unsigned long> alreadyInitialized{0};
    std::thread loader([&] {
        for (int i = 0; i < 200; ++i) {
            const Failure failure = pkcs11Failure([] { PKCS11Bridge::PKCS11Module again(P11MOCK_MODULE_PATH); });
            if (failure.returnValue == CKR_CRYPTOKI_ALREADY_INITIALIZED) {
                alreadyInitialized++;
            }
        }
    });
    for (int i = 0; i < 400; ++i) {
        PKCS11SlotCall(*module, indexA)->generateRandom(16);
    }
    loader.join();
    EXPECT_EQ(alreadyInitialized.load(), 200u);
    EXPECT_EQ(mock().overlap_count(), 0u);
}

// The slot count is read without the module's lock; a refresh must never let
// it see the list between the old slots and the new.
TEST_F(ModuleLockTest, SlotCountNeverShowsARefreshHalfDone)
{
    std::atomic<bool> done{false};
    std::atomic<unsigned long> wrongCounts{0};
    std::atomic<unsigned long> reads{0};
    std::thread reader([&] {
        while (!done.load()) {
            if (module->getNumberOfSlots() != 3) {
                wrongCounts++;
            }
            reads++;
        }
    });
    // 300 refreshes take milliseconds; go on until the reader has surely read beside them.
    EXPECT_TRUE(eventually([&] { return reads.load() > 0; }));
    const unsigned long first = reads.load();
    for (int i = 0; i < 300 || reads.load() < first + 1000; ++i) {
        module->refresh();
    }
    done = true;
    reader.join();
    EXPECT_EQ(wrongCounts.load(), 0u);
}

// A waiter blocks inside the module without the lock; signing goes on beside
// it, and the event still reaches it.
TEST_F(ModuleLockTest, SlotEventWaiterDoesNotHoldUpSigners)
{
    std::atomic<CK_SLOT_ID> eventSlot{0};
    std::thread waiter([&] { eventSlot = module->waitForSlotEvent(); });
    EXPECT_TRUE(eventually([] { return mock().waiting_count() > 0; }));
    Tally tally;
    runThreads(3, 100, [&](unsigned int, unsigned int round) { step(3, round, tally); });
    EXPECT_EQ(tally.successes[3].load(), 300u);
    EXPECT_EQ(mock().waiting_count(), 1u) << "the waiter returned before any event";

    mock().queue_slot_event(P11MOCK_SLOT_C);
    waiter.join();
    EXPECT_EQ(eventSlot.load(), P11MOCK_SLOT_C);
    EXPECT_EQ(mock().overlap_count(), 0u);
    EXPECT_TRUE(tally.wrong.empty());
}

// Two waiters at once are left undefined by the standard: the second waits for
// the first to return before it enters the module.
TEST_F(ModuleLockTest, SlotEventWaitersTakeTurns)
{
    std::atomic<int> returned{0};
    const auto waitOnce = [&] {
        module->waitForSlotEvent();
        returned++;
    };
    std::thread first(waitOnce);
    std::thread second(waitOnce);
    EXPECT_TRUE(eventually([] { return mock().waiting_count() > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(mock().waiting_count(), 1u);
    mock().queue_slot_event(P11MOCK_SLOT_A);
    EXPECT_TRUE(eventually([&] { return returned.load() > 0; }));
    mock().queue_slot_event(P11MOCK_SLOT_D);
    first.join();
    second.join();
    EXPECT_EQ(returned.load(), 2);
}

// The first caller sleeps inside the module while three more arrive one by one:
// the module sees them in the order they arrived, and the first caller, asking
// again at once as a signing loop does, only after them.
TEST_F(ModuleLockTest, CallersAreServedInTheOrderTheyArrive)
{
    mock().log_enable(1);
    openedSlot(indexA);
    mock().set_call_delay("C_GenerateRandom", 10000);
    std::vector<std::thread> callers;
    for (unsigned int n = 1; n <= 4; ++n) {
        callers.emplace_back([this, n] {
            for (unsigned int call = 0; call < (n == 1 ? 3u : 1u); ++call) {
                PKCS11SlotCall(*module, indexA)->generateRandom(n);
            }
        });
        EXPECT_TRUE(eventually([&] { return module->getCallLock().getCallerCount() == n; })) << "caller " << n;
    }
    mock().set_call_delay("C_GenerateRandom", 0);
    for (std::thread& caller : callers) {
        caller.join();
    }
    std::string lengths;
    for (const std::string& line : mock().logLinesOf("C_GenerateRandom")) {
        lengths += line.substr(line.find(" len=") + 5, 2);
    }
    EXPECT_EQ(lengths, "1 2 3 4 1 1 ");
    EXPECT_EQ(mock().overlap_count(), 0u);
}

// More sleepers than the lock has turn slots, so that several share one: a
// handover must still reach the caller served, and only it goes on.
TEST(CallLockTest, SleepersSharingTurnSlotsAreServedInArrivalOrder)
{
    PKCS11Bridge::CallLock lock;
    std::vector<unsigned int> order, arrivals;
    std::vector<std::thread> callers;
    lock.lock();
    for (unsigned int n = 1; n <= 40; ++n) {
        arrivals.push_back(n);
        callers.emplace_back([&order, &lock, n] {
            const std::lock_guard<PKCS11Bridge::CallLock> turn(lock);
            order.push_back(n);
        });
        EXPECT_TRUE(eventually([&] { return lock.getCallerCount() == n + 1; })) << "caller " << n;
    }
    lock.unlock();
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(order, arrivals);
}

// A caller that spins past its turn slot's next ticket sleeps behind it: ticket
// 1 spins (a long limit) while tickets 2 to 17 fall asleep, so ticket 17 sleeps
// in that slot before ticket 1 does. The release must still wake ticket 1, and
// every caller finish; a stuck one is left behind with the lock it shares.
TEST(CallLockTest, OlderSleeperBehindANewerOneInItsSlotIsWoken)
{
    constexpr auto kSpinLimit = std::chrono::milliseconds(300);
    auto lock = std::make_shared<PKCS11Bridge::CallLock>(kSpinLimit);
    auto finished = std::make_shared<std::atomic<unsigned int>>(0);
    std::vector<std::thread> callers;
    lock->lock();
    std::chrono::steady_clock::time_point spinStart;
    for (unsigned int n = 1; n <= 17; ++n) {
        callers.emplace_back([lock, finished] {
            const std::lock_guard<PKCS11Bridge::CallLock> turn(*lock);
            finished->fetch_add(1);
        });
        EXPECT_TRUE(eventually([&] { return lock->getCallerCount() == n + 1; })) << "caller " << n;
        if (n == 1) {
            spinStart = std::chrono::steady_clock::now();
        }
    }
    std::this_thread::sleep_until(spinStart + kSpinLimit + std::chrono::milliseconds(300));
    lock->unlock();
    const bool allFinished = eventually([&] { return finished->load() == 17; });
    EXPECT_TRUE(allFinished) << finished->load() << " of 17 callers finished";
    for (std::thread& caller : callers) {
        allFinished ? caller.join() : caller.detach();
    }
}

} // namespace
