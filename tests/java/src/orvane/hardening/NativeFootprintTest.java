package orvane.hardening;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.rsa;
import static orvane.testsupport.SoftHsmSetup.x509;

import java.io.EOFException;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.util.LinkedList;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;

import javax.crypto.Cipher;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.function.Executable;

import orvane.clapi.crypto.CapiToken;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.common.utils.IncomingNativeUtils;
import orvane.common.utils.WindowsRegistry;

/**
 * Long, bounded series of calls on every native family, successes and
 * failures alike. After a warm-up, resident memory, open file descriptors and
 * JNI global references must stay flat: growth of more than RSS_TOLERANCE_KIB
 * over a series, or any fd or more than REF_TOLERANCE references, fails. The
 * cheap families run 2000 rounds or more, so a leak of 256 bytes per round
 * fails them; key operations and CryptoAPI calls, which take milliseconds
 * each, run 150 to 300 rounds (a leak of 3.5 KiB per round). Leaks of single
 * blocks are LeakSanitizer's job in the C++ suites. The JVM runs with a fixed,
 * pre-touched heap and without the JIT, so neither grows the process while a
 * series runs.
 */
@TestMethodOrder(MethodOrderer.OrderAnnotation.class)
class NativeFootprintTest {
    static final long RSS_TOLERANCE_KIB = 512;
    static final int REF_TOLERANCE = 2;
    static final int WARM_UP = 100;
    private static final int HKCU = WindowsRegistry.HKEY_CURRENT_USER;
    private static final String ENUM = "Software\\ORVNativeTest\\JUnit\\Enum";
    private static final String VALUES = "Software\\ORVNativeTest\\JUnit\\Values";
    private static final byte[] DATA = "a long series of calls".getBytes(StandardCharsets.UTF_8);

    private HardeningToken t;
    private int m;
    private int s;

    @BeforeEach
    void hardeningToken() throws Exception {
        t = HardeningToken.get();
        m = t.moduleId;
        s = t.slotIndex;
    }

    /**
     * Runs the warm-up, then the series; holds the descriptors and JNI global
     * references flat and returns the footprints before and after it.
     */
    private static Footprint[] series(String family, int rounds, Executable round) throws Throwable {
        for (int i = 0; i < WARM_UP; i++) {
            round.execute();
        }
        Footprint before = Footprint.now();
        long start = System.nanoTime();
        for (int i = 0; i < rounds; i++) {
            round.execute();
        }
        long millis = (System.nanoTime() - start) / 1_000_000;
        Footprint after = Footprint.now();
        System.out.printf("footprint %-22s %6d rounds in %6d ms: before %s; after %s; RSS %+d KiB%n", family, rounds,
                millis, before, after, after.rssKiB() - before.rssKiB());
        assertEquals(before.fileDescriptors(), after.fileDescriptors(), family + ": open file descriptors");
        assertTrue(after.globalRefs() - before.globalRefs() <= REF_TOLERANCE,
                family + ": JNI global references " + before.globalRefs() + " -> " + after.globalRefs());
        return new Footprint[] {before, after};
    }

    private static void flat(String family, int rounds, Executable round) throws Throwable {
        Footprint[] f = series(family, rounds, round);
        assertTrue(f[1].rssKiB() - f[0].rssKiB() <= RSS_TOLERANCE_KIB,
                family + ": RSS grew by " + (f[1].rssKiB() - f[0].rssKiB()) + " KiB");
    }

    @Test
    @Order(1)
    void pkcs11QueriesAndFailures() throws Throwable {
        flat("pkcs11 queries", 8000, () -> {
            assertTrue(PKCS11Module.getNumberOfSlots(m) >= 1);
            assertTrue(PKCS11Slot.tokenPresent(m, s));
            assertEquals(HardeningToken.LABEL, PKCS11Slot.getTokenInfo(m, s).getLabel().stripTrailing());
            assertThrows(IndexOutOfBoundsException.class, () -> PKCS11Slot.getTokenInfo(m, 4711));
            assertThrows(PKCS11Exception.class, () -> PKCS11Module.getNumberOfSlots(-1));
            assertThrows(PKCS11Exception.class, () -> PKCS11Slot.generateRandom(m, s, Integer.MAX_VALUE));
            assertThrows(PKCS11Exception.class, () -> PKCS11Slot.login(m, s, HardeningToken.PIN, 1));
        });
        flat("pkcs11 failed loads", 10000,
                () -> assertThrows(PKCS11Exception.class, () -> PKCS11Module.loadLibrary("/nonexistent/module.so")));
    }

    @Test
    @Order(2)
    void pkcs11SessionWork() throws Throwable {
        byte[] sha1 = MessageDigest.getInstance("SHA-1").digest(DATA);
        byte[] stranger = t.certificate.clone();
        stranger[stranger.length - 1] ^= 1;
        // Login is left out: SoftHSM2 derives a key from the PIN each time.
        flat("pkcs11 sessions", 2000, () -> {
            PKCS11Slot.openSession(m, s);
            assertEquals(1, PKCS11Slot.getNumberOfCertificates(m, s, 0));
            assertArrayEquals(t.certificate, PKCS11Slot.getCertificate(m, s, 0, 0));
            assertThrows(IndexOutOfBoundsException.class, () -> PKCS11Slot.getCertificate(m, s, 0, 1));
            assertEquals(0, PKCS11Slot.getNumberOfObjects(m, s, PKCS11Slot.CKO_DATA));
            assertEquals(1, PKCS11Slot.getObject(m, s, PKCS11Slot.CKO_CERTIFICATE, 0).getId()[0]);
            PKCS11Slot.digestInit(m, s, PKCS11Slot.CKM_SHA_1);
            PKCS11Slot.digestUpdate(m, s, DATA);
            assertArrayEquals(sha1, PKCS11Slot.digestFinal(m, s));
            assertEquals(32, PKCS11Slot.generateRandom(m, s, 32).length);
            PKCS11Slot.seedRandom(m, s, DATA);
            assertThrows(PKCS11Exception.class,
                    () -> PKCS11Slot.signData(m, s, stranger, DATA, PKCS11Slot.CKM_SHA1_RSA_PKCS));
            PKCS11Slot.closeSession(m, s);
        });
    }

    @Test
    @Order(3)
    void pkcs11KeyOperations() throws Throwable {
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.login(m, s, HardeningToken.PIN, PKCS11Slot.CKU_USER);
        int rsa = PKCS11Slot.CKM_RSA_PKCS;
        try {
            flat("pkcs11 keys", 300, () -> {
                byte[] signature = PKCS11Slot.signData(m, s, t.certificate, DATA, PKCS11Slot.CKM_SHA1_RSA_PKCS);
                assertTrue(PKCS11Slot.verifyData(m, s, t.certificate, DATA, signature, PKCS11Slot.CKM_SHA1_RSA_PKCS));
                byte[] encrypted = PKCS11Slot.encryptData(m, s, t.certificate, DATA, rsa);
                assertArrayEquals(DATA, PKCS11Slot.decryptData(m, s, t.certificate, encrypted, rsa));
                assertArrayEquals(DATA, PKCS11Slot.unwrapKey(m, s, t.certificate, encrypted, rsa));
            });
        } finally {
            PKCS11Slot.closeSession(m, s);
        }
    }

    @Test
    @Order(4)
    @Tag("standin")
    void cryptoApiOverTheStandIn() throws Throwable {
        CapiToken token = new CapiToken();
        Path material = Path.of(System.getenv("ORV_WIN32_ROOT"), "material");
        byte[] signer = Files.readAllBytes(material.resolve("signer.der"));
        byte[] stranger = Files.readAllBytes(material.resolve("stranger.der"));
        byte[] sessionKey = "0123456789abcdef".getBytes(StandardCharsets.US_ASCII);
        byte[] wrapped = rsa(Cipher.ENCRYPT_MODE, x509(signer).getPublicKey(), sessionKey);
        byte[] sha1 = MessageDigest.getInstance("SHA-1").digest(DATA);
        ByteBuffer seed = ByteBuffer.allocateDirect(64);
        flat("capi", 150, () -> {
            boolean[] flag = new boolean[1];
            assertEquals(0, token.nativeIsCspAvailable("Microsoft Enhanced Cryptographic Provider v1.0", "RSA_FULL",
                    flag));
            assertEquals(0, token.nativeIsCertificateInStore(signer, "MY", flag));
            assertTrue(flag[0]);
            byte[] signature = new byte[128];
            assertEquals(0, token.nativeWrapDigest(sha1, 1, signer, "MY", signature, CapiToken.AT_SIGNATURE));
            assertEquals(-590, token.nativeWrapDigest(sha1, 1, stranger, "MY", signature, CapiToken.AT_SIGNATURE));
            assertEquals(-110, token.nativeWrapDigest(null, 1, signer, "MY", signature, 2));
            LinkedList<byte[]> list = new LinkedList<>();
            assertEquals(0, token.nativeGetCertificates("MY", list));
            assertTrue(list.size() >= 3);
            assertArrayEquals(sessionKey, token.nativeUnwrapSecretKey(wrapped, signer, "MY"));
            assertThrows(Exception.class, () -> token.nativeUnwrapSecretKey(wrapped, stranger, "MY"));
            token.nativeGenerateSeed(seed);
        });
    }

    @Test
    @Order(5)
    @Tag("standin")
    void registryAndAccessibility() throws Throwable {
        flat("registry", 8000, () -> {
            assertEquals("Alpha", WindowsRegistry.getRegistryKeyName(HKCU, ENUM, 0));
            assertThrows(EOFException.class, () -> WindowsRegistry.getRegistryKeyName(HKCU, ENUM, 3));
            assertEquals("Text", WindowsRegistry.getRegistryValueName(HKCU, VALUES, 0));
            assertEquals("hello registry", WindowsRegistry.getRegistryValueString(HKCU, VALUES, "Text"));
            assertEquals("\ud83d\ude00", WindowsRegistry.getRegistryValueString(HKCU, VALUES, "Emoji"));
            assertThrows(Exception.class, () -> WindowsRegistry.getRegistryValueString(HKCU, VALUES, "Missing"));
            IncomingNativeUtils.jniShutdownNativeAccessibility();
        });
    }

    /**
     * Refresh closes the sessions of the slots it drops, so nothing grows, open
     * session or not (it leaked about 280 bytes a refresh, 1.1 MB here, while
     * it left them open).
     */
    @Test
    @Order(6)
    void refreshLeavesNoSessionBehind() throws Throwable {
        flat("pkcs11 refresh+session", 4000, () -> {
            PKCS11Slot.openSession(m, t.slotIndex);
            PKCS11Module.refresh(m);
        });
        flat("pkcs11 refresh alone", 10000, () -> PKCS11Module.refresh(m));
    }

    /**
     * What the process holds at one moment: resident memory, open file
     * descriptors and the JNI global references the VM counts. The references are
     * read from the VM's own thread dump (jcmd Thread.print), so nothing of the
     * library is needed to count them.
     */
    record Footprint(long rssKiB, int fileDescriptors, int globalRefs) {
        private static final Pattern GLOBAL_REFS = Pattern.compile("JNI global refs: (\\d+)");

        static Footprint now() throws IOException, InterruptedException {
            settle();
            int refs = jniGlobalRefs();
            settle();
            return new Footprint(residentKiB(), openDescriptors(), refs);
        }

        private static void settle() throws InterruptedException {
            for (int i = 0; i < 3; i++) {
                System.gc();
                System.runFinalization();
                Thread.sleep(20);
            }
        }

        static long residentKiB() throws IOException {
            for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
                if (line.startsWith("VmRSS:")) {
                    return Long.parseLong(line.replaceAll("[^0-9]", ""));
                }
            }
            throw new IOException("no VmRSS in /proc/self/status");
        }

        static int openDescriptors() throws IOException {
            try (Stream<Path> fds = Files.list(Path.of("/proc/self/fd"))) {
                return (int) fds.count();
            }
        }

        static int jniGlobalRefs() throws IOException, InterruptedException {
            ProcessBuilder builder = new ProcessBuilder("jcmd", Long.toString(ProcessHandle.current().pid()),
                    "Thread.print").redirectErrorStream(true);
            builder.environment().remove("JAVA_TOOL_OPTIONS");
            Process jcmd = builder.start();
            String dump = new String(jcmd.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
            if (!jcmd.waitFor(60, TimeUnit.SECONDS) || jcmd.exitValue() != 0) {
                throw new IOException("jcmd Thread.print failed:\n" + dump);
            }
            Matcher m = GLOBAL_REFS.matcher(dump);
            if (!m.find()) {
                throw new IOException("no JNI reference count in the thread dump:\n" + dump);
            }
            return Integer.parseInt(m.group(1));
        }

        @Override
        public String toString() {
            return String.format("RSS %d KiB, %d fds, %d JNI global refs", rssKiB, fileDescriptors, globalRefs);
        }
    }
}
