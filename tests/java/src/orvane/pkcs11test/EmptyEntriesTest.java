package orvane.pkcs11test;

import static java.nio.charset.StandardCharsets.US_ASCII;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static orvane.pkcs11test.TestModules.failure;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * The mock loaded again with a function list that leaves entries empty, as
 * some vendor modules do for what they lack: a native reaching one fails as
 * if the module had answered CKR_FUNCTION_NOT_SUPPORTED there, the rest work.
 */
class EmptyEntriesTest {
    private static final String UNSUPPORTED = " - CKR_FUNCTION_NOT_SUPPORTED";
    private static final String LACKING = "C_GetTokenInfo C_WaitForSlotEvent C_DigestInit C_SeedRandom"
            + " C_GenerateRandom C_SignInit C_DestroyObject";
    private static final byte[] CERT_A = "P11MOCK-CERT-A-RSA".getBytes(US_ASCII);

    private static int loadWithout(String entries) throws Exception {
        TestModules.resetMock();
        assertEquals(0, MockControl.setEmptyEntries(entries));
        MockControl.setInitialized(false);
        try {
            return PKCS11Module.loadLibrary(TestModules.MOCK_PATH);
        } finally {
            MockControl.setEmptyEntries("");
            MockControl.setInitialized(true);
        }
    }

    @Test
    void nativesReachingAnEmptyEntryFailAsUnsupported() throws Exception {
        int m = loadWithout(LACKING);
        PKCS11Slot.openSession(m, 0);
        PKCS11Slot.login(m, 0, "1234", PKCS11Slot.CKU_USER);
        assertEquals("PKCS11TokenInfo::PKCS11TokenInfo(const PKCS11Slot&) - Failed on call to C_GetTokenInfo()"
                + UNSUPPORTED, failure(() -> PKCS11Slot.getTokenInfo(m, 0)));
        assertEquals("PKCS11Module::waitForSlotEvent() - Failed on call to C_WaitForSlotEvent(0, &slotID, NULL_PTR)"
                + " it returned '84'.", failure(() -> PKCS11Module.waitForSlotEvent(m)));
        assertEquals("PKCS11Slot::digestInit(unsigned long) - Failed on call to C_DigestInit(544)" + UNSUPPORTED,
                failure(() -> PKCS11Slot.digestInit(m, 0, PKCS11Slot.CKM_SHA_1)));
        assertEquals("PKCS11Slot::seedRandom(const ByteArray&) - Failed on call to C_SeedRandom(seed, 4)"
                + UNSUPPORTED, failure(() -> PKCS11Slot.seedRandom(m, 0, "seed".getBytes(US_ASCII))));
        assertEquals("PKCS11Slot::generateRandom(unsigned int) - Failed on call to C_GenerateRandom(16)"
                + UNSUPPORTED, failure(() -> PKCS11Slot.generateRandom(m, 0, 16)));
        assertEquals("PKCS11Slot::signData(const Certificate&, const ByteArray&, unsigned int) - Failed on call to"
                + " C_SignInit()" + UNSUPPORTED,
                failure(() -> PKCS11Slot.signData(m, 0, CERT_A, CERT_A, PKCS11Slot.CKM_SHA1_RSA_PKCS)));
        assertEquals("PKCS11Slot::deleteObject(unsigned long) - Failed on call to C_DestroyObject()" + UNSUPPORTED,
                failure(() -> PKCS11Slot.deleteObject(m, 0, 0x108)));
        for (String lacking : LACKING.split(" ")) {
            assertEquals(0, MockControl.callCount(lacking), lacking);
        }
        byte[] secret = "secret".getBytes(US_ASCII);
        byte[] sealed = PKCS11Slot.encryptData(m, 0, CERT_A, secret, PKCS11Slot.CKM_RSA_PKCS);
        assertArrayEquals(secret, PKCS11Slot.decryptData(m, 0, CERT_A, sealed, PKCS11Slot.CKM_RSA_PKCS));
        assertEquals(3, PKCS11Slot.getNumberOfObjects(m, 0, PKCS11Slot.CKO_PRIVATE_KEY));
        PKCS11Slot.logout(m, 0);
        PKCS11Slot.closeSession(m, 0);
        assertEquals("P11MOCK-A       ", PKCS11Slot.getTokenInfo(TestModules.mock, 0).getModel());
    }

    @Test
    void emptyLoadStepsFailTheLoad() throws Exception {
        assertEquals("PKCS11Module::loadPKCS11Library() - Failed on call to C_Initialize(NULL_PTR)" + UNSUPPORTED,
                failure(() -> loadWithout("C_Initialize")));
        assertEquals("PKCS11Module::getSlotList() - Failed on call to C_GetSlotList(NULL_PTR)" + UNSUPPORTED,
                failure(() -> loadWithout("C_GetSlotList")));
        assertEquals(3, PKCS11Module.getNumberOfSlots(loadWithout("C_Finalize C_CloseAllSessions")));
    }
}
