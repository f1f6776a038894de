package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicInteger;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Threads loading, refreshing and using one module at once. The mock module
 * takes calls from any thread; SoftHSM2, initialised without locking, does not.
 */
class ConcurrencyTest {
    private static final int THREADS = 8;
    private static final int ROUNDS = 300;

    @Test
    void loadRefreshAndSessionsFromManyThreads() throws Exception {
        TestModules.resetMock();
        int m = TestModules.mock();
        MockControl.logEnable(false);
        List<Throwable> unexpected = new CopyOnWriteArrayList<>();
        AtomicInteger cleanFailures = new AtomicInteger();
        AtomicInteger successes = new AtomicInteger();
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
                    try {
                        step(m, (seed + round) % 6, round % 3);
                        successes.incrementAndGet();
                    } catch (PKCS11Exception | IndexOutOfBoundsException e) {
                        cleanFailures.incrementAndGet();
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
        assertTrue(unexpected.isEmpty(), () -> "unexpected: " + unexpected);
        assertEquals(THREADS * ROUNDS, successes.get() + cleanFailures.get());
        assertTrue(successes.get() > 0);
        PKCS11Module.refresh(m);
        assertEquals(3, PKCS11Module.getNumberOfSlots(m));
    }

    private static void step(int m, int kind, int slotIndex) throws Exception {
        switch (kind) {
            case 0:
                PKCS11Module.loadLibrary(TestModules.mockPath());
                break;
            case 1:
                PKCS11Module.refresh(m);
                break;
            case 2:
                PKCS11Slot.openSession(m, slotIndex);
                PKCS11Slot.login(m, slotIndex, slotIndex == 1 ? "1111" : "1234", PKCS11Slot.CKU_USER);
                PKCS11Slot.logout(m, slotIndex);
                break;
            case 3:
                PKCS11Slot.openSession(m, slotIndex);
                PKCS11Slot.generateRandom(m, slotIndex, 16);
                break;
            case 4:
                PKCS11Slot.openSession(m, slotIndex);
                PKCS11Slot.digestInit(m, slotIndex, PKCS11Slot.CKM_SHA_1);
                PKCS11Slot.digestUpdate(m, slotIndex, new byte[64]);
                PKCS11Slot.digestFinal(m, slotIndex);
                break;
            default:
                PKCS11Slot.getSessionOpened(m, slotIndex);
                PKCS11Slot.closeSession(m, slotIndex);
                break;
        }
    }
}
