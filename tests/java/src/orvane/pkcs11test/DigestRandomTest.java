package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static orvane.pkcs11test.TestModules.failure;

import java.nio.charset.StandardCharsets;
import java.security.MessageDigest;
import java.util.Arrays;
import java.util.Random;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

import orvane.clapi.crypto.PKCS11Slot;

/** Digests against java.security.MessageDigest, and random numbers, on SoftHSM2 and the mock. */
class DigestRandomTest {
    private final TestModules.Token token = TestModules.MAIN;

    @BeforeEach
    void openMain() throws Exception {
        PKCS11Slot.openSession(token.moduleId(), token.slotIndex());
    }

    @AfterEach
    void closeMain() throws Exception {
        PKCS11Slot.closeSession(token.moduleId(), token.slotIndex());
    }

    private byte[] tokenDigest(int mechanism, byte[]... parts) throws Exception {
        PKCS11Slot.digestInit(token.moduleId(), token.slotIndex(), mechanism);
        for (byte[] part : parts) {
            PKCS11Slot.digestUpdate(token.moduleId(), token.slotIndex(), part);
        }
        return PKCS11Slot.digestFinal(token.moduleId(), token.slotIndex());
    }

    @Test
    void sha1MatchesMessageDigest() throws Exception {
        byte[] data = new byte[5000];
        new Random(7).nextBytes(data);
        byte[] expected = MessageDigest.getInstance("SHA-1").digest(data);
        byte[] actual = tokenDigest(PKCS11Slot.CKM_SHA_1, Arrays.copyOfRange(data, 0, 1234),
                Arrays.copyOfRange(data, 1234, 5000));
        assertEquals(20, actual.length);
        assertArrayEquals(expected, actual);
    }

    @Test
    void md5ComesBackAsSixteenBytes() throws Exception {
        byte[] data = "The quick brown fox".getBytes(StandardCharsets.US_ASCII);
        assertArrayEquals(MessageDigest.getInstance("MD5").digest(data), tokenDigest(PKCS11Slot.CKM_MD5, data));
    }

    @Test
    void emptyAndNullDataDigestNothing() throws Exception {
        assertArrayEquals(MessageDigest.getInstance("SHA-1").digest(new byte[0]),
                tokenDigest(PKCS11Slot.CKM_SHA_1, new byte[0], null));
    }

    @Test
    void sha256DoesNotFitTheBuffer() throws Exception {
        PKCS11Slot.digestInit(token.moduleId(), token.slotIndex(), PKCS11Slot.CKM_SHA256);
        PKCS11Slot.digestUpdate(token.moduleId(), token.slotIndex(), new byte[] {1, 2, 3});
        assertEquals("PKCS11Slot::digestFinal() - Failed on call to C_DigestFinal() - CKR_BUFFER_TOO_SMALL",
                failure(() -> PKCS11Slot.digestFinal(token.moduleId(), token.slotIndex())));
    }

    @Test
    void finalWithoutInit() {
        assertEquals("PKCS11Slot::digestFinal() - Failed on call to C_DigestFinal() - CKR_OPERATION_NOT_INITIALIZED",
                failure(() -> PKCS11Slot.digestFinal(token.moduleId(), token.slotIndex())));
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void randomOfRequestedLengths(TestModules.Token t) throws Exception {
        TestModules.inSession(t, (m, s) -> {
            byte[] first = PKCS11Slot.generateRandom(m, s, 32);
            byte[] second = PKCS11Slot.generateRandom(m, s, 32);
            assertEquals(32, first.length);
            assertFalse(Arrays.equals(first, second));
            assertFalse(Arrays.equals(new byte[32], first));
            assertEquals(1, PKCS11Slot.generateRandom(m, s, 1).length);
            assertEquals(0, PKCS11Slot.generateRandom(m, s, 0).length);
            PKCS11Slot.seedRandom(m, s, new byte[] {1, 2, 3});
        });
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void negativeRandomLengthRefused(TestModules.Token t) throws Exception {
        TestModules.inSession(t, (m, s) -> {
            assertEquals("PKCS11Slot::generateRandom(unsigned int) - Invalid length '-1'",
                    failure(() -> PKCS11Slot.generateRandom(m, s, -1)));
            assertEquals("PKCS11Slot::generateRandom(unsigned int) - Invalid length '-2147483648'",
                    failure(() -> PKCS11Slot.generateRandom(m, s, Integer.MIN_VALUE)));
        });
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void everyOperationNeedsSession(TestModules.Token t) throws Exception {
        int m = t.moduleId();
        int s = t.slotIndex();
        PKCS11Slot.closeSession(m, s);
        String tail = " - A session has not been opened !";
        assertEquals("PKCS11Slot::digestInit(unsigned int)" + tail, failure(() -> PKCS11Slot.digestInit(m, s, 0x220)));
        assertEquals("PKCS11Slot::digestUpdate(const ByteArray&)" + tail,
                failure(() -> PKCS11Slot.digestUpdate(m, s, new byte[2])));
        assertEquals("PKCS11Slot::digestFinal()" + tail, failure(() -> PKCS11Slot.digestFinal(m, s)));
        assertEquals("PKCS11Slot::seedRandom(const ByteArray&)" + tail,
                failure(() -> PKCS11Slot.seedRandom(m, s, new byte[2])));
        assertEquals("PKCS11Slot::generateRandom(unsigned int)" + tail,
                failure(() -> PKCS11Slot.generateRandom(m, s, 8)));
    }
}
