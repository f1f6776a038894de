package orvane.capitest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.nio.file.Files;
import java.nio.file.Path;
import java.security.PublicKey;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;

import org.junit.jupiter.api.function.Executable;

import orvane.clapi.crypto.CapiToken;
import orvane.testsupport.SoftHsmSetup;

/** The certificates provision-junit.sh stored (or kept out of the stores), and the token every test class calls. */
abstract class CapiMaterial {
    static final String ENHANCED = "Microsoft Enhanced Cryptographic Provider v1.0";
    static final long NTE_BAD_DATA = (int) 0x80090005;
    static final long NTE_NO_KEY = (int) 0x8009000D;
    static final long NTE_KEYSET_NOT_DEF = (int) 0x80090019;

    final CapiToken token = new CapiToken();

    static byte[] der(String name) throws Exception {
        return Files.readAllBytes(Path.of(System.getenv("ORV_WIN32_ROOT"), "material", name + ".der"));
    }

    static PublicKey publicKey(String name) throws Exception {
        return SoftHsmSetup.x509(der(name)).getPublicKey();
    }

    static byte[] reversed(byte[] bytes) {
        byte[] out = new byte[bytes.length];
        for (int i = 0; i < bytes.length; ++i) {
            out[i] = bytes[bytes.length - 1 - i];
        }
        return out;
    }

    /** The description format of the library's exceptions. */
    static String description(String message, long code) {
        return String.format("%s. Error code HEX: 0x%X. Error code dec: %d.\n", message, (int) code, (int) code);
    }

    /** The call raises the exception class with the library's description of the message and code. */
    static void assertFails(Class<? extends Throwable> type, String message, long code, Executable call) {
        assertEquals(description(message, code), assertThrows(type, call).getMessage());
    }

    long wrap(byte[] digest, int hashType, String cert, byte[] signature, int keySpec) throws Exception {
        return token.nativeWrapDigest(digest, hashType, der(cert), "MY", signature, keySpec);
    }

    /** A signature array one byte short or long is refused with -121 and left as it was. */
    void wrongLengthsLeaveTheArray(byte[] sha1, String cert, byte fill) throws Exception {
        for (int length : new int[] {127, 129}) {
            byte[] signature = new byte[length];
            Arrays.fill(signature, fill);
            assertEquals(-121, wrap(sha1, 1, cert, signature, CapiToken.AT_SIGNATURE));
            byte[] untouched = new byte[length];
            Arrays.fill(untouched, fill);
            assertArrayEquals(untouched, signature);
        }
    }

    /** Runs the round the given number of times on each of four threads at once; every round must pass. */
    static void onFourThreads(int rounds, Executable round) throws Exception {
        Thread[] threads = new Thread[4];
        List<Throwable> failures = new CopyOnWriteArrayList<>();
        for (int t = 0; t < threads.length; ++t) {
            threads[t] = new Thread(() -> {
                for (int i = 0; i < rounds; ++i) {
                    try {
                        round.execute();
                    } catch (Throwable e) {
                        failures.add(e);
                    }
                }
            });
            threads[t].start();
        }
        for (Thread thread : threads) {
            thread.join();
        }
        if (!failures.isEmpty()) {
            throw new AssertionError(failures.size() + " rounds failed, first: " + failures.get(0), failures.get(0));
        }
    }
}
