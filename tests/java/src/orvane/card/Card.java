package orvane.card;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.security.GeneralSecurityException;
import java.security.PublicKey;
import java.security.Signature;
import java.security.cert.CertificateFactory;
import java.util.List;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * The virtual card the suite's ctest fixture started (tools/card/card.sh):
 * OpenSC's module loaded once per JVM, the card's certificate and PIN, and
 * pulling and putting back the card. Each case leaves the card inserted.
 */
final class Card {
    static final String OPENSC = "/usr/lib/x86_64-linux-gnu/opensc-pkcs11.so";
    /** The card sits in vpcd's first reader, which OpenSC numbers 0. */
    static final long SLOT_ID = 0;
    static final int SLOT = 0;

    private static final Path STATE = Paths.get(env("ORV_CARD_STATE"));
    private static int moduleId = -1;

    private Card() {
    }

    private static String env(String name) {
        String value = System.getenv(name);
        if (value == null || value.isEmpty()) {
            throw new IllegalStateException(name + " is not set; run the suite through ctest");
        }
        return value;
    }

    /** OpenSC answers a second C_Initialize with CKR_CRYPTOKI_ALREADY_INITIALIZED, so one load serves all. */
    static synchronized int module() throws PKCS11Exception {
        if (moduleId < 0) {
            moduleId = PKCS11Module.loadLibrary(OPENSC);
        }
        return moduleId;
    }

    static String pin() throws IOException {
        return Files.readString(STATE.resolve("pin"), StandardCharsets.US_ASCII).trim();
    }

    static byte[] certificate() throws IOException {
        return Files.readAllBytes(STATE.resolve("cert.der"));
    }

    static PublicKey publicKey() throws IOException, GeneralSecurityException {
        return CertificateFactory.getInstance("X.509").generateCertificate(new ByteArrayInputStream(certificate()))
                .getPublicKey();
    }

    static boolean inserted() throws IOException {
        return Files.readString(STATE.resolve("card-state")).trim().equals("in");
    }

    /** Returns once PC/SC sees the reader empty. */
    static void remove() throws IOException, InterruptedException {
        script("remove");
    }

    /** Returns once PC/SC sees the card. */
    static void insert() throws IOException, InterruptedException {
        script("insert");
    }

    /** Ends pcscd and the card's relay and starts both again, as a restarted PC/SC service finds its card. */
    static void restartPcscd() throws IOException, InterruptedException {
        script("start", env("ORV_CARD_RELAY"));
    }

    /** Ends pcscd and the card's relay, as a PC/SC service that went down. */
    static void stopPcscd() throws IOException, InterruptedException {
        script("stop");
    }

    /**
     * The recovery in docs/callers-contract.md after pcscd restarted, as written there: log out
     * and close the old session (either may fail on a session the restart
     * voided, or on a slot a refresh while pcscd was down left out), refresh,
     * and again until the slot is listed; then a new session and login.
     * Returns how many tries it took.
     */
    static int recoverAfterPcscdRestart() throws Exception {
        int m = module();
        int s = SLOT;
        String pin = pin();
        int tries;
        for (tries = 1; ; tries++) {     // until refresh lists the slot again
            try { PKCS11Slot.logout(m, s); PKCS11Slot.closeSession(m, s); }
            catch (PKCS11Exception | IndexOutOfBoundsException voided) { }  // a void session, or no slot yet
            PKCS11Module.refresh(m);         // closes what is left and lists the slots again
            if (s < PKCS11Module.getNumberOfSlots(m)) break;
            if (tries == 60) throw new IllegalStateException("the card did not come back");
            Thread.sleep(500);               // pcscd is not back yet
        }
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.login(m, s, pin, PKCS11Slot.CKU_USER);
        return tries;
    }

    private static void script(String... command) throws IOException, InterruptedException {
        Path log = STATE.resolve("script.log");
        Process p = new ProcessBuilder("sh", env("ORV_CARD_SCRIPT"), command[0], STATE.toString(),
                command.length > 1 ? command[1] : "")
                .redirectErrorStream(true).redirectOutput(log.toFile()).start();
        if (!p.waitFor(40, TimeUnit.SECONDS)) {
            p.destroyForcibly();
            throw new AssertionError("card.sh " + command + " hung");
        }
        assertEquals(0, p.exitValue(), "card.sh " + command + ": " + Files.readString(log));
    }

    /** Waits, 5 s at most, until the module reports the token present or absent. */
    static void awaitPresent(boolean present) throws PKCS11Exception, InterruptedException {
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(5);
        while (PKCS11Slot.tokenPresent(module(), SLOT) != present) {
            assertTrue(System.nanoTime() < end, "the module never reported the token " + (present ? "in" : "out"));
            Thread.sleep(20);
        }
    }

    /** A new session, logged in; an old one the card's removal voided is closed first. */
    static void freshLogin() throws Exception {
        int m = module();
        try {
            PKCS11Slot.closeSession(m, SLOT);
        } catch (PKCS11Exception e) {
            // The slot forgets the session whatever the module answers; a voided handle is expected here.
            assertTrue(e.getMessage().endsWith("CKR_SESSION_HANDLE_INVALID"), e.getMessage());
        }
        PKCS11Slot.openSession(m, SLOT);
        PKCS11Slot.login(m, SLOT, pin(), PKCS11Slot.CKU_USER);
    }

    /** Signs on the card and checks the signature with java.security. */
    static void signAndCheck(byte[] data, int mechanism, String javaAlgorithm) throws Exception {
        byte[] signature = PKCS11Slot.signData(module(), SLOT, certificate(), data, mechanism);
        Signature verifier = Signature.getInstance(javaAlgorithm);
        verifier.initVerify(publicKey());
        verifier.update(data);
        assertTrue(verifier.verify(signature), javaAlgorithm + " signature from the card does not verify");
    }

    static ExecutorService daemons(int threads) {
        return Executors.newFixedThreadPool(threads, r -> {
            Thread t = new Thread(r, "card-test");
            t.setDaemon(true);
            return t;
        });
    }

    /**
     * A waitForSlotEvent that is blocked in the module. Events left over from
     * earlier changes (OpenSC keeps one after C_Initialize and one after a
     * removal and insertion) return at once and are drained first.
     */
    static Future<Long> blockedWaiter(ExecutorService pool) throws Exception {
        for (int i = 0; i < 5; i++) {
            Future<Long> wait = pool.submit(() -> PKCS11Module.waitForSlotEvent(module()));
            try {
                assertEquals(SLOT_ID, (long) wait.get(500, TimeUnit.MILLISECONDS), "a left-over event's slot id");
            } catch (TimeoutException blocked) {
                return wait;
            } catch (ExecutionException e) {
                throw new AssertionError("waitForSlotEvent failed", e.getCause());
            }
        }
        throw new AssertionError("waitForSlotEvent kept returning without a slot event");
    }

    /** Signs until stopped, counting checked signatures and recording failures; ends on anything else. */
    static Future<?> signer(ExecutorService pool, AtomicBoolean stop, AtomicInteger good, List<String> failures,
            boolean recover) {
        byte[] data = "signed while the card comes and goes".getBytes(StandardCharsets.UTF_8);
        return pool.submit(() -> {
            while (!stop.get()) {
                try {
                    signAndCheck(data, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
                    good.incrementAndGet();
                } catch (PKCS11Exception e) {
                    failures.add(e.getMessage());
                    if (recover && PKCS11Slot.tokenPresent(module(), SLOT)) {
                        try {
                            freshLogin();
                        } catch (PKCS11Exception again) {
                            failures.add(again.getMessage()); // the card went again meanwhile
                        }
                    } else {
                        Thread.sleep(20);
                    }
                }
            }
            return null;
        });
    }

    /** Puts the card back if a case left it out, and waits until the module sees it. */
    static void ensureInserted() throws Exception {
        if (!inserted()) {
            insert();
        }
        awaitPresent(true);
    }
}
