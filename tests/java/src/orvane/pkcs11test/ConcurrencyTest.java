package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.pkcs11test.TestModules.failure;

import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicIntegerArray;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Threads loading, refreshing and using one module at once. The mock module
 * runs in its single-threaded mode, where any two threads inside it at once
 * are refused and counted: the count must stay at zero.
 */
class ConcurrencyTest {
    private static final int THREADS = 8;
    private static final int ROUNDS = 300;
    private static final int KINDS = 9;
    private static final byte[] CERT_A = "P11MOCK-CERT-A-RSA".getBytes(StandardCharsets.US_ASCII);

    @Test
    void loadRefreshAndSessionsFromManyThreads() throws Exception {
        TestModules.resetMock();
        int m = TestModules.mock;
        MockControl.logEnable(false);
        MockControl.setSingleThreaded(true);
        List<Throwable> unexpected = new CopyOnWriteArrayList<>();
        AtomicIntegerArray successes = new AtomicIntegerArray(KINDS);
        AtomicIntegerArray cleanFailures = new AtomicIntegerArray(KINDS);
        CountDownLatch start = new CountDownLatch(1);
        Thread[] threads = new Thread[THREADS];
        for (int t = 0; t < THREADS; t++) {
            final int seed = t;
            threads[t] = new Thread(() -> {
                try {
                    start.await();
                } catch (InterruptedException e) {
                    return;
                }
                for (int round = 0; round < ROUNDS; round++) {
                    int kind = (seed + round) % KINDS;
                    try {
                        step(m, kind, round % 3);
                        successes.incrementAndGet(kind);
                    } catch (PKCS11Exception | IndexOutOfBoundsException e) {
                        cleanFailures.incrementAndGet(kind);
                    } catch (Throwable e) {
                        unexpected.add(e);
                    }
                }
            });
            threads[t].start();
        }
        start.countDown();
        for (Thread thread : threads) {
            thread.join(120000);
        }
        MockControl.logEnable(true);
        long overlaps = MockControl.overlapCount();
        MockControl.setSingleThreaded(false);
        assertEquals(0, overlaps, "calls that found another thread inside the module");
        assertTrue(unexpected.isEmpty(), () -> "unexpected: " + unexpected);
        // A refresh or a close may take a session from between a thread's calls (on a loaded machine, in
        // every round of one kind); nothing else may fail, and each kind works again once the others stop.
        int sessionSuccesses = 0;
        for (int kind = 0; kind < KINDS; kind++) {
            boolean usesSession = kind >= 2 && kind <= 7 && kind != 6;
            sessionSuccesses += usesSession ? successes.get(kind) : 0;
            assertTrue(usesSession || successes.get(kind) > 0, "kind " + kind + " never succeeded");
            assertTrue(usesSession || cleanFailures.get(kind) == 0, "kind " + kind + " failed");
        }
        assertTrue(sessionSuccesses > 0, "no call sequence on a session ever succeeded");
        PKCS11Module.refresh(m);
        assertEquals(3, PKCS11Module.getNumberOfSlots(m));
        for (int kind = 0; kind < KINDS; kind++) {
            step(m, kind, 0);
        }
    }

    private static void step(int m, int kind, int slotIndex) throws Exception {
        switch (kind) {
            case 0 -> {
                String text = failure(() -> PKCS11Module.loadLibrary(TestModules.MOCK_PATH));
                assertTrue(text.endsWith(" - CKR_CRYPTOKI_ALREADY_INITIALIZED"), text);
            }
            case 1 -> PKCS11Module.refresh(m);
            case 2 -> {
                PKCS11Slot.openSession(m, slotIndex);
                PKCS11Slot.login(m, slotIndex, slotIndex == 1 ? "1111" : "1234", PKCS11Slot.CKU_USER);
                PKCS11Slot.logout(m, slotIndex);
            }
            case 3 -> {
                PKCS11Slot.openSession(m, slotIndex);
                PKCS11Slot.generateRandom(m, slotIndex, 16);
            }
            case 4 -> {
                PKCS11Slot.openSession(m, slotIndex);
                PKCS11Slot.digestInit(m, slotIndex, PKCS11Slot.CKM_SHA_1);
                PKCS11Slot.digestUpdate(m, slotIndex, new byte[64]);
                PKCS11Slot.digestFinal(m, slotIndex);
            }
            case 5 -> {
                PKCS11Slot.openSession(m, 0);
                byte[] signature = PKCS11Slot.signData(m, 0, CERT_A, new byte[] {(byte) slotIndex}, 0x40);
                assertTrue(PKCS11Slot.verifyData(m, 0, CERT_A, new byte[] {(byte) slotIndex}, signature, 0x40),
                        "the mock's signature does not verify");
            }
            case 6 -> assertEquals("P11MOCK-" + "ACD".charAt(slotIndex),
                    PKCS11Slot.getTokenInfo(m, slotIndex).getModel().trim());
            case 7 -> {
                PKCS11Slot.openSession(m, 1);
                assertEquals(1, PKCS11Slot.getNumberOfCertificates(m, 1, PKCS11Slot.CKC_X_509), "token C's contents");
                assertNotNull(PKCS11Slot.getObject(m, 1, PKCS11Slot.CKO_PRIVATE_KEY, 0), "token C's contents");
            }
            default -> {
                PKCS11Slot.getSessionOpened(m, slotIndex);
                PKCS11Slot.closeSession(m, slotIndex);
            }
        }
    }

    /** A thread blocked waiting for a slot event does not hold up the others. */
    @Test
    @Timeout(value = 30, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void signersGoOnWhileAThreadWaitsForASlotEvent() throws Exception {
        TestModules.resetMock();
        int m = TestModules.mock;
        MockControl.logEnable(false);
        MockControl.setSingleThreaded(true);
        long[] event = {-1};
        Thread waiter = TestModules.slotEventWaiter(event);
        while (MockControl.waitingCount() == 0) {
            Thread.sleep(1);
        }
        PKCS11Slot.openSession(m, 0);
        for (int i = 0; i < 200; i++) {
            byte[] data = {(byte) i};
            byte[] signature = PKCS11Slot.signData(m, 0, CERT_A, data, 0x40);
            assertTrue(PKCS11Slot.verifyData(m, 0, CERT_A, data, signature, 0x40));
        }
        assertEquals(1, MockControl.waitingCount(), "the waiter left before any event");
        MockControl.queueSlotEvent(MockControl.SLOT_C);
        waiter.join(10000);
        long overlaps = MockControl.overlapCount();
        MockControl.setSingleThreaded(false);
        MockControl.logEnable(true);
        assertEquals(MockControl.SLOT_C, event[0]);
        assertEquals(0, overlaps);
    }
}
