package orvane.card;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.function.Executable;

/** Pulling the card and putting it back: the bridge's messages, slot events, recovery, threads. */
@Timeout(value = 30, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
class CardRemovalTest extends LoggedInCard {
    private static final byte[] DATA = "signed while the card comes and goes".getBytes(StandardCharsets.UTF_8);

    private static void assertMessage(String expected, Executable call) {
        assertEquals(expected, assertThrows(PKCS11Exception.class, call).getMessage());
    }

    @Test
    void aPulledCardGivesTheDocumentedMessages() throws Exception {
        int m = Card.module();
        byte[] cert = Card.certificate();
        Card.remove();
        Card.awaitPresent(false);
        assertFalse(PKCS11Slot.getSessionOpened(m, Card.SLOT));
        assertMessage("PKCS11Slot::findCertificate(unsigned long, const ByteArray&) - A session has not been opened !",
                () -> PKCS11Slot.signData(m, Card.SLOT, cert, DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS));
        assertMessage("PKCS11Slot::login(const String&, CK_USER_TYPE) - A session has not been opened !",
                () -> PKCS11Slot.login(m, Card.SLOT, Card.pin(), PKCS11Slot.CKU_USER));
        assertMessage("PKCS11Slot::getCertificates(unsigned long) - A session has not been opened !",
                () -> PKCS11Slot.getNumberOfCertificates(m, Card.SLOT, PKCS11Slot.CKC_X_509));
        assertMessage("PKCS11Slot::openSession() - Failed on call to C_OpenSession() - CKR_TOKEN_NOT_PRESENT",
                () -> PKCS11Slot.openSession(m, Card.SLOT));
        assertMessage("PKCS11TokenInfo::PKCS11TokenInfo(const PKCS11Slot&) - Failed on call to C_GetTokenInfo()"
                + " - CKR_TOKEN_NOT_PRESENT", () -> PKCS11Slot.getTokenInfo(m, Card.SLOT));
        PKCS11Slot.closeSession(m, Card.SLOT); // nothing left to close: no module call, no failure

        Card.insert();
        Card.awaitPresent(true);
        PKCS11Slot.openSession(m, Card.SLOT);
        PKCS11Slot.login(m, Card.SLOT, Card.pin(), PKCS11Slot.CKU_USER);
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
    }

    @Test
    void aSessionOutlivedByAnIdleSwapIsVoidAndRecoveryWorks() throws Exception {
        Card.remove();
        Card.insert();
        // The module never saw the card gone through the bridge; its session died with the card all the same.
        PKCS11Exception stale = assertThrows(PKCS11Exception.class, () -> Card.signAndCheck(DATA,
                PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA"));
        System.out.println("card: first sign on the old session: " + stale.getMessage());
        Card.freshLogin();
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
    }

    @Test
    void signingComesBackAfterEachOfTwoPcscdRestarts() throws Exception {
        for (int restart = 0; restart < 2; restart++) {
            Card.restartPcscd();
            Card.recoverAfterPcscdRestart();
            Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
        }
    }

    @Test
    @Timeout(value = 90, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void signingComesBackWhenPcscdIsStillDownAtTheFirstTry() throws Exception {
        Card.stopPcscd();
        Future<?> restart = pool.submit(() -> {
            Thread.sleep(2000);
            Card.restartPcscd();
            return null;
        });
        int tries = Card.recoverAfterPcscdRestart();
        restart.get(60, TimeUnit.SECONDS);
        System.out.println("card: recovered after " + tries + " tries");
        assertTrue(tries > 1, "pcscd was back at the first try");
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
    }

    @Test
    void waitForSlotEventBlocksUntilRemovalAndUntilInsertion() throws Exception {
        Future<Long> removal = Card.blockedWaiter(pool);
        Card.remove();
        assertEquals(Card.SLOT_ID, (long) removal.get(5, TimeUnit.SECONDS));
        Future<Long> insertion = Card.blockedWaiter(pool);
        Card.insert();
        assertEquals(Card.SLOT_ID, (long) insertion.get(5, TimeUnit.SECONDS));
    }

    @Test
    void aPulledCardFailsASigningLoopOnlyWithPKCS11Exceptions() throws Exception {
        AtomicBoolean stop = new AtomicBoolean();
        AtomicInteger good = new AtomicInteger();
        List<String> failures = new CopyOnWriteArrayList<>();
        Future<?> loop = Card.signer(pool, stop, good, failures, false);
        Thread.sleep(300);
        Card.remove();
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(5);
        while (failures.isEmpty() && System.nanoTime() < end) {
            Thread.sleep(20);
        }
        int before = good.get();
        Card.insert();
        stop.set(true);
        loop.get(10, TimeUnit.SECONDS); // rethrows any other throwable or a bad signature
        System.out.println("card: signing loop: " + before + " good before the removal, " + failures.size()
                + " failures, first: " + (failures.isEmpty() ? "none" : failures.get(0)));
        assertTrue(before > 0, "no signature before the removal");
        assertFalse(failures.isEmpty(), "signing went on with the card pulled");
        assertTrue(failures.stream().allMatch(f -> f.startsWith("PKCS11Slot::")), failures.toString());
        Card.awaitPresent(true);
        Card.freshLogin();
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
    }
}
