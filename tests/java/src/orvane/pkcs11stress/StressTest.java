package orvane.pkcs11stress;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.rsa;

import java.nio.charset.StandardCharsets;
import java.security.MessageDigest;

import javax.crypto.Cipher;

import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Many Java threads on one SoftHSM2 module, which was initialised without
 * locking and corrupts itself when two threads are inside it at once. Every
 * result is checked against java.security; every failure must be a clean
 * PKCS11Exception of the kind the case expects. Each case is bounded in time
 * and in iterations and prints what it achieved.
 */
class StressTest {
    private static final long CASE_MILLIS = 2500;
    private static final int SHA1_RSA = PKCS11Slot.CKM_SHA1_RSA_PKCS;
    private static final int SHA256_RSA = PKCS11Slot.CKM_SHA256_RSA_PKCS;

    private static StressTokens t;

    @BeforeAll
    static void tokens() throws Exception {
        t = StressTokens.get();
    }

    @Test
    void pollerBesideSigner() throws Exception {
        StressRun run = new StressRun(CASE_MILLIS, e -> false)
                .worker("signer", 2000, i -> sign(t.a, i, SHA256_RSA, "SHA256withRSA"))
                .worker("poller", 20000, i -> {
                    tokenInfo(t.a);
                    assertTrue(PKCS11Slot.getSessionOpened(t.moduleId, t.a.slotIndex), "the signer's session was lost");
                });
        report("poller beside signer", run);
        assertTrue(run.successes("signer") > 0 && run.successes("poller") > 0);
    }

    /**
     * One slot, one shared session. Only the digester runs multi-call
     * operations; while its digest is active, SoftHSM2 refuses the others'
     * operations on that session with CKR_OPERATION_ACTIVE, a clean failure.
     */
    @Test
    void eightThreadsMixOneSlot() throws Exception {
        StressRun run = new StressRun(CASE_MILLIS, StressTest::operationActive)
                .worker("sign-sha1", 2000, i -> sign(t.a, i, SHA1_RSA, "SHA1withRSA"))
                .worker("sign-sha256", 2000, i -> sign(t.a, i, SHA256_RSA, "SHA256withRSA"))
                .worker("verify", 2000, i -> verify(t.a, i))
                .worker("decrypt", 2000, i -> decrypt(t.a, i))
                .worker("random", 20000, i -> random(t.a))
                .worker("token-info", 20000, i -> tokenInfo(t.a))
                .worker("certificates", 5000, i -> certificates(t.a))
                .worker("digest", 20000, i -> {
                    digest(t.a, i);
                    Thread.sleep(1); // leaves the session free for the others now and then
                });
        report("eight threads on one slot", run);
        for (String name : new String[] {"sign-sha1", "sign-sha256", "verify", "decrypt", "random", "token-info",
                "certificates", "digest"}) {
            assertTrue(run.successes(name) > 0, name + " never succeeded");
        }
    }

    @Test
    void signersOnTwoSlotsOfOneModule() throws Exception {
        StressRun run = new StressRun(CASE_MILLIS, e -> false)
                .worker("a1", 2000, i -> sign(t.a, i, SHA256_RSA, "SHA256withRSA"))
                .worker("a2", 2000, i -> sign(t.a, i + 100000, SHA1_RSA, "SHA1withRSA"))
                .worker("b1", 2000, i -> sign(t.b, i, SHA256_RSA, "SHA256withRSA"))
                .worker("b2", 2000, i -> sign(t.b, i + 100000, SHA1_RSA, "SHA1withRSA"));
        report("signers on two slots", run);
        assertTrue(run.successes("a1") > 0 && run.successes("b1") > 0);
    }

    /**
     * A refresh forgets every slot's session; the others then meet "A session
     * has not been opened !" and open a new one. The slot list itself never
     * shows a gap: the refresh holds the module for its whole rebuild.
     */
    @Test
    void refreshInFlight() throws Exception {
        int slots = PKCS11Module.getNumberOfSlots(t.moduleId);
        StressRun run = new StressRun(CASE_MILLIS, e -> e.getMessage().endsWith(" - A session has not been opened !")
                || e.getMessage().endsWith(" - The Certificate cannot be found"))
                .worker("refresh", 200, i -> {
                    PKCS11Module.refresh(t.moduleId);
                    Thread.sleep(10);
                })
                .worker("sign-a", 3000, i -> signReopening(t.a, i))
                .worker("sign-b", 3000, i -> signReopening(t.b, i))
                .worker("token-info", 20000, i -> tokenInfo(t.a))
                .worker("slots", 20000, i -> assertEquals(slots, PKCS11Module.getNumberOfSlots(t.moduleId),
                        "slot count changed during a refresh"));
        report("refresh in flight", run);
        assertTrue(run.successes("refresh") > 0 && run.successes("sign-a") > 0 && run.successes("sign-b") > 0);
        t.openAndLogin(t.a);
        t.openAndLogin(t.b);
    }

    @Test
    void manyShortLivedThreads() throws Exception {
        StressRun run = new StressRun(CASE_MILLIS, e -> false);
        for (int n = 0; n < 48; n++) {
            StressTokens.Token token = n % 2 == 0 ? t.a : t.b;
            int seed = n;
            run.worker("short-" + n, 3, i -> {
                tokenInfo(token);
                sign(token, seed * 10 + i, SHA256_RSA, "SHA256withRSA");
            });
        }
        report("short-lived threads", run);
        assertEquals(48 * 3, run.totalSuccesses());
    }

    /**
     * What the Threads section of docs/callers-contract.md tells callers: a digest left
     * unfinished keeps the slot's session busy for every other operation until
     * the session is closed and opened again.
     */
    @Test
    void abandonedDigestBlocksTheSessionUntilItIsReopened() throws Exception {
        PKCS11Slot.digestInit(t.moduleId, t.a.slotIndex, PKCS11Slot.CKM_SHA_1);
        PKCS11Exception busy = assertThrows(PKCS11Exception.class, () -> sign(t.a, 1, SHA256_RSA, "SHA256withRSA"));
        assertTrue(operationActive(busy), busy.getMessage());
        PKCS11Slot.closeSession(t.moduleId, t.a.slotIndex);
        t.openAndLogin(t.a);
        sign(t.a, 1, SHA256_RSA, "SHA256withRSA");
    }

    private static void report(String name, StressRun run) throws InterruptedException {
        String achieved = run.run();
        System.out.println(name + ": " + achieved);
        assertTrue(run.faults.isEmpty(), () -> name + ": " + run.faults.size() + " faults, first: " + run.faults.get(0));
    }

    private static boolean operationActive(PKCS11Exception e) {
        return e.getMessage().endsWith(" - CKR_OPERATION_ACTIVE");
    }

    private static byte[] data(int i) {
        return ("stress data " + i).getBytes(StandardCharsets.US_ASCII);
    }

    private static void sign(StressTokens.Token token, int i, int mechanism, String algorithm) throws Exception {
        byte[] signature = PKCS11Slot.signData(t.moduleId, token.slotIndex, token.certificate, data(i), mechanism);
        assertArrayEquals(token.sign(algorithm, data(i)), signature, "signature differs from java.security's");
    }

    private static void signReopening(StressTokens.Token token, int i) throws Exception {
        try {
            sign(token, i, SHA256_RSA, "SHA256withRSA");
        } catch (PKCS11Exception e) {
            t.openAndLogin(token);
            throw e;
        }
    }

    private static void verify(StressTokens.Token token, int i) throws Exception {
        byte[] signature = token.sign("SHA256withRSA", data(i));
        int s = token.slotIndex;
        assertTrue(PKCS11Slot.verifyData(t.moduleId, s, token.certificate, data(i), signature, SHA256_RSA),
                "java.security's signature did not verify");
        signature[signature.length / 2] ^= 1;
        assertFalse(PKCS11Slot.verifyData(t.moduleId, s, token.certificate, data(i), signature, SHA256_RSA),
                "a damaged signature verified");
    }

    private static void decrypt(StressTokens.Token token, int i) throws Exception {
        byte[] cipherText = rsa(Cipher.ENCRYPT_MODE, token.publicKey, data(i));
        assertArrayEquals(data(i), PKCS11Slot.decryptData(t.moduleId, token.slotIndex, token.certificate, cipherText,
                PKCS11Slot.CKM_RSA_PKCS), "decryption differs");
    }

    private static void random(StressTokens.Token token) throws Exception {
        assertEquals(32, PKCS11Slot.generateRandom(t.moduleId, token.slotIndex, 32).length);
    }

    private static void tokenInfo(StressTokens.Token token) throws Exception {
        assertEquals(token.label, PKCS11Slot.getTokenInfo(t.moduleId, token.slotIndex).getLabel().trim(), "label");
    }

    private static void certificates(StressTokens.Token token) throws Exception {
        assertEquals(1, PKCS11Slot.getNumberOfCertificates(t.moduleId, token.slotIndex, PKCS11Slot.CKC_X_509));
        assertArrayEquals(token.certificate, PKCS11Slot.getCertificate(t.moduleId, token.slotIndex,
                PKCS11Slot.CKC_X_509, 0), "certificate bytes differ");
    }

    /** Init, update and final on one thread, checked against MessageDigest. */
    private static void digest(StressTokens.Token token, int i) throws Exception {
        PKCS11Slot.digestInit(t.moduleId, token.slotIndex, PKCS11Slot.CKM_SHA_1);
        PKCS11Slot.digestUpdate(t.moduleId, token.slotIndex, data(i));
        assertArrayEquals(MessageDigest.getInstance("SHA-1").digest(data(i)), PKCS11Slot.digestFinal(t.moduleId,
                token.slotIndex), "digest differs");
    }
}
