package orvane.card;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.Timeout;

/**
 * A waitForSlotEvent waiting on OpenSC while other natives of the module run.
 * The suite runs this class last, and its cases in name order, the many pulls
 * last: a module these cases wedge keeps pcscd's reader locked for good.
 */
@Timeout(value = 20, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
@TestMethodOrder(MethodOrderer.MethodName.class)
class CardWaiterTest extends LoggedInCard {
    private static final byte[] DATA = "signed beside a waiter".getBytes(StandardCharsets.UTF_8);
    private static final int CYCLES = Integer.getInteger("orv.card.cycles", 30);

    @Test
    void aBlockedWaiterDoesNotHoldUpASigner() throws Exception {
        Future<Long> waiter = Card.blockedWaiter(pool);
        for (int i = 0; i < 5; i++) {
            Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
        }
        assertFalse(waiter.isDone(), "the waiter returned without a slot event");
        Card.remove();
        assertEquals(Card.SLOT_ID, (long) waiter.get(5, TimeUnit.SECONDS));
    }

    @Test
    @Timeout(value = 90, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void aWaiterBesideASignerThroughManyCycles() throws Exception {
        AtomicBoolean stop = new AtomicBoolean();
        AtomicInteger good = new AtomicInteger();
        AtomicInteger events = new AtomicInteger();
        List<String> failures = new CopyOnWriteArrayList<>();
        Future<?> signing = Card.signer(pool, stop, good, failures, true);
        AtomicBoolean stopWaiting = new AtomicBoolean();
        Thread waiter = new Thread(() -> {
            try {
                while (!stopWaiting.get()) {
                    long slot = PKCS11Module.waitForSlotEvent(Card.module());
                    if (slot != Card.SLOT_ID) {
                        failures.add("an event for slot id " + slot);
                    }
                    events.incrementAndGet();
                }
            } catch (PKCS11Exception e) {
                failures.add("waitForSlotEvent: " + e.getMessage());
            }
        }, "card-waiter");
        waiter.setDaemon(true);
        waiter.start();
        for (int cycle = 0; cycle < CYCLES; cycle++) {
            try {
                int seen = events.get();
                Card.remove();
                awaitEventAfter(events, seen, "removal");
                seen = events.get();
                Card.insert();
                awaitEventAfter(events, seen, "insertion");
            } catch (AssertionError e) {
                throw new AssertionError("cycle " + cycle + " after " + events.get() + " slot events and " + good.get()
                        + " checked signatures: " + e.getMessage(), e);
            }
            Thread.sleep(100); // a few signatures between the changes
        }
        stop.set(true);
        signing.get(10, TimeUnit.SECONDS);
        assertTrue(waiter.isAlive(), "the waiter stopped: " + failures);
        // One more change releases the waiter, which would otherwise take the next case's events.
        stopWaiting.set(true);
        Card.remove();
        waiter.join(5000);
        assertFalse(waiter.isAlive(), "the waiter did not return on the last removal");
        System.out.println("card: " + CYCLES + " cycles: " + events.get() + " slot events, " + good.get()
                + " checked signatures, " + failures.size() + " failed signatures");
        assertTrue(failures.stream().allMatch(f -> f.startsWith("PKCS11Slot::")), failures.toString());
        assertTrue(good.get() >= CYCLES, "too few signatures between the changes: " + good.get());
        Card.insert();
        Card.awaitPresent(true);
        Card.freshLogin();
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
    }

    private static void awaitEventAfter(AtomicInteger events, int seen, String what) throws InterruptedException {
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(5);
        while (events.get() == seen) {
            assertTrue(System.nanoTime() < end, "no slot event after the " + what);
            Thread.sleep(10);
        }
    }
}
