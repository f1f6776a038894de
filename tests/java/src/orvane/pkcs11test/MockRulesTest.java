package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.pkcs11test.TestModules.failure;

import java.nio.charset.StandardCharsets;

import org.junit.jupiter.api.Assumptions;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/** What only a fault-injecting module can show through the natives. */
class MockRulesTest {
    private int m;
    private static final int A = 0;

    @BeforeEach
    void reset() throws Exception {
        TestModules.resetMock();
        m = TestModules.mock;
    }

    @Test
    void nullPinReadsAsEmpty() throws Exception {
        PKCS11Slot.openSession(m, A);
        MockControl.logClear();
        assertThrows(PKCS11Exception.class, () -> PKCS11Slot.login(m, A, null, PKCS11Slot.CKU_USER));
        assertTrue(MockControl.log().contains("C_Login session=1 userType=1 pin= pinLen=0 rv=0xa0"),
                MockControl.log());
    }

    @Test
    void pinBytesReachTheModuleAndNeverTheMessage() throws Exception {
        PKCS11Slot.openSession(m, A);
        MockControl.logClear();
        PKCS11Slot.login(m, A, "1234", PKCS11Slot.CKU_USER);
        assertTrue(MockControl.log().contains("pin=31323334 pinLen=4 rv=0x0"), MockControl.log());
        assertEquals(1, MockControl.loginState(MockControl.SLOT_A));
    }

    @Test
    void pulledTokenEndsSessionWithoutClose() throws Exception {
        PKCS11Slot.openSession(m, A);
        MockControl.setTokenPresent(MockControl.SLOT_A, false);
        assertFalse(PKCS11Slot.tokenPresent(m, A));
        assertFalse(PKCS11Slot.getSessionOpened(m, A));
        MockControl.logClear();
        PKCS11Slot.closeSession(m, A);
        assertEquals(0, MockControl.callCount("C_CloseSession"));
        assertEquals("PKCS11Slot::openSession() - Failed on call to C_OpenSession() - CKR_TOKEN_NOT_PRESENT",
                failure(() -> PKCS11Slot.openSession(m, A)));
    }

    @Test
    void deviceRemovedDuringDigestForgetsSession() throws Exception {
        PKCS11Slot.openSession(m, A);
        MockControl.fail("C_DigestInit", 0x32, 1);
        assertEquals("PKCS11Slot::digestInit(unsigned long) - Failed on call to C_DigestInit(544) - CKR_DEVICE_REMOVED",
                failure(() -> PKCS11Slot.digestInit(m, A, 0x220)));
        assertFalse(PKCS11Slot.getSessionOpened(m, A));
    }

    @Test
    void failedCloseShowsSignedHandleAndForgetsSession() throws Exception {
        MockControl.setNextSessionHandle(0x80000000L);
        PKCS11Slot.openSession(m, A);
        MockControl.fail("C_CloseSession", 0x30, 1);
        assertEquals("PKCS11Slot::closeSession() - Failed on call to C_CloseSession(-2147483648) - CKR_DEVICE_ERROR",
                failure(() -> PKCS11Slot.closeSession(m, A)));
        assertFalse(PKCS11Slot.getSessionOpened(m, A));
    }

    @Test
    void vendorMechanismKeepsItsBits() throws Exception {
        PKCS11Slot.openSession(m, A);
        MockControl.logClear();
        assertEquals("PKCS11Slot::digestInit(unsigned long) - Failed on call to C_DigestInit(-2147483647)"
                + " - CKR_MECHANISM_INVALID", failure(() -> PKCS11Slot.digestInit(m, A, 0x80000001)));
        assertTrue(MockControl.log().contains("mechanism=0x80000001 "), MockControl.log());
    }

    @Test
    void initTokenLabelBlankPadded() throws Exception {
        MockControl.logClear();
        PKCS11Slot.initToken(m, 2, "so", "hello");
        String padded = "68656c6c6f" + "20".repeat(27);
        assertTrue(MockControl.log().contains("label=" + padded + " rv=0x0"), MockControl.log());
    }

    @Test
    void digestFinalOfSixteenAndTwentyBytes() throws Exception {
        PKCS11Slot.openSession(m, A);
        PKCS11Slot.digestInit(m, A, PKCS11Slot.CKM_MD5);
        assertEquals(16, PKCS11Slot.digestFinal(m, A).length);
        PKCS11Slot.digestInit(m, A, PKCS11Slot.CKM_SHA_1);
        assertEquals(20, PKCS11Slot.digestFinal(m, A).length);
    }

    @Test
    void noSeedSupportNamed() throws Exception {
        PKCS11Slot.openSession(m, 1);
        assertEquals("PKCS11Slot::seedRandom(const ByteArray&) - Failed on call to C_SeedRandom(seed, 4)"
                + " - CKR_RANDOM_SEED_NOT_SUPPORTED",
                failure(() -> PKCS11Slot.seedRandom(m, 1, "seed".getBytes(StandardCharsets.US_ASCII))));
    }

    /** The suite runs with a small heap, so the result cannot become a Java array. */
    @Test
    void javaFailureInsideNativeRaisedAsPKCS11Exception() throws Exception {
        long max = Runtime.getRuntime().maxMemory();
        Assumptions.assumeTrue(max < (512L << 20), "needs the suite's small heap");
        int length = (int) (max + (16L << 20));
        PKCS11Slot.openSession(m, A);
        MockControl.logEnable(false);
        PKCS11Exception e = assertThrows(PKCS11Exception.class, () -> PKCS11Slot.generateRandom(m, A, length));
        MockControl.logEnable(true);
        assertTrue(e.getMessage().startsWith("JByteArray::JByteArray(const ByteArray&) - NewByteArray(...)"
                + " - java.lang.OutOfMemoryError"), e.getMessage());
        assertTrue(PKCS11Slot.getSessionOpened(m, A));
    }
}
