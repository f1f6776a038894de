package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.pkcs11test.TestModules.failure;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/** Sessions and login, answered alike by SoftHSM2 and the mock module. */
class SessionTest {
    private TestModules.Token used;
    private int m;
    private int s;

    @AfterEach
    void closeSession() throws Exception {
        if (used != null) {
            PKCS11Slot.closeSession(m, s);
        }
    }

    private void use(TestModules.Token token) {
        used = token;
        m = token.moduleId();
        s = token.slotIndex();
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void openAndCloseSession(TestModules.Token token) throws Exception {
        use(token);
        assertTrue(PKCS11Slot.tokenPresent(m, s));
        assertFalse(PKCS11Slot.getSessionOpened(m, s));
        PKCS11Slot.openSession(m, s);
        assertTrue(PKCS11Slot.getSessionOpened(m, s));
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.closeSession(m, s);
        assertFalse(PKCS11Slot.getSessionOpened(m, s));
        PKCS11Slot.closeSession(m, s);
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void closeAllSessionsLeavesNone(TestModules.Token token) throws Exception {
        use(token);
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.closeAllSessions(m, s);
        assertFalse(PKCS11Slot.getSessionOpened(m, s));
        PKCS11Slot.closeAllSessions(m, s);
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void wrongPinHiddenInMessage(TestModules.Token token) throws Exception {
        use(token);
        PKCS11Slot.openSession(m, s);
        String message = failure(() -> PKCS11Slot.login(m, s, "86420", PKCS11Slot.CKU_USER));
        assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                + " - CKR_PIN_INCORRECT", message);
        assertFalse(message.contains("86420"));
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void loginAndLogoutToleratedTwice(TestModules.Token token) throws Exception {
        use(token);
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.login(m, s, token.userPin(), PKCS11Slot.CKU_USER);
        PKCS11Slot.login(m, s, token.userPin(), PKCS11Slot.CKU_USER);
        PKCS11Slot.logout(m, s);
        PKCS11Slot.logout(m, s);
        assertTrue(PKCS11Slot.getSessionOpened(m, s));
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void loginAndLogoutNeedSession(TestModules.Token token) {
        use(token);
        String tail = " - A session has not been opened !";
        assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE)" + tail,
                failure(() -> PKCS11Slot.login(m, s, token.userPin(), 1)));
        assertEquals("PKCS11Slot::login(const String&)" + tail, failure(() -> PKCS11Slot.logout(m, s)));
        assertEquals("PKCS11Slot::setPIN(const String&, const String&)" + tail,
                failure(() -> PKCS11Slot.setPIN(m, s, "a", "b")));
        assertEquals("PKCS11Slot::initPIN(const String&)" + tail, failure(() -> PKCS11Slot.initPIN(m, s, "a")));
    }

    @Test
    void refreshEndsTheOldSessionsAndTheirLogin() throws Exception {
        use(TestModules.MAIN);
        byte[] certificate = TestModules.MAIN_KEY.certificate;
        byte[] data = "refresh".getBytes();
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.login(m, s, used.userPin(), PKCS11Slot.CKU_USER);
        PKCS11Slot.openSession(m, TestModules.REINIT.slotIndex());
        PKCS11Module.refresh(m);
        PKCS11Slot.openSession(m, s);
        assertTrue(failure(() -> PKCS11Slot.signData(m, s, certificate, data, PKCS11Slot.CKM_SHA1_RSA_PKCS))
                .endsWith("The PrivateKey for the supplied Certificate cannot be found"));
        assertTrue(failure(() -> PKCS11Slot.login(m, s, "86420", PKCS11Slot.CKU_USER)).endsWith("CKR_PIN_INCORRECT"));
        PKCS11Slot.login(m, s, used.userPin(), PKCS11Slot.CKU_USER);
        assertTrue(TestModules.MAIN_KEY.verifies("SHA1withRSA", data,
                PKCS11Slot.signData(m, s, certificate, data, PKCS11Slot.CKM_SHA1_RSA_PKCS)));
        // SoftHSM2 refuses to initialise a token with a session still open (CKR_SESSION_EXISTS).
        TestModules.Token reinit = TestModules.REINIT;
        PKCS11Slot.initTokenAndUserPIN(m, reinit.slotIndex(), reinit.soPin(), reinit.label(), reinit.userPin());
        PKCS11Slot.closeSession(m, reinit.slotIndex());
    }

    @Test
    void writeProtectedTokenGetsReadOnlySession() throws Exception {
        use(TestModules.MOCK_A);
        TestModules.resetMock();
        MockControl.setTokenFlags(MockControl.SLOT_A, 0x40D | 0x2);
        PKCS11Slot.openSession(m, s);
        assertEquals("C_OpenSession slot=2 flags=0x6 app=set notify=NULL session=- rv=0xe2\n"
                + "C_OpenSession slot=2 flags=0x4 app=set notify=NULL session=1 rv=0x0\n",
                MockControl.log().replaceAll("C_GetSlotInfo.*\n", ""));
        byte[] certificate = "P11MOCK-CERT-A-RSA".getBytes();
        byte[] data = "read-only".getBytes();
        byte[] signature = PKCS11Slot.signData(m, s, certificate, data, PKCS11Slot.CKM_SHA1_RSA_PKCS);
        assertTrue(PKCS11Slot.verifyData(m, s, certificate, data, signature, PKCS11Slot.CKM_SHA1_RSA_PKCS));
        assertEquals("PKCS11Slot::deleteObject(unsigned long) - Failed on call to C_DestroyObject()"
                + " - CKR_SESSION_READ_ONLY", failure(() -> PKCS11Slot.deleteObject(m, s, 0x101)));
        PKCS11Slot.closeSession(m, s);
        assertTrue(failure(() -> PKCS11Slot.initTokenAndUserPIN(m, s, "87654321", "A", "1234"))
                .endsWith("C_OpenSession() - CKR_TOKEN_WRITE_PROTECTED"));
        TestModules.resetMock();
    }

    private static void expectIndexFailure(Class<? extends Throwable> expected, int moduleId, int slotIndex,
            String message, TestModules.SlotCall call) {
        Throwable t = assertThrows(Throwable.class, () -> call.call(moduleId, slotIndex));
        assertEquals(expected, t.getClass(), () -> "raised " + t);
        assertEquals(message, t.getMessage());
    }

    @ParameterizedTest
    @MethodSource("orvane.pkcs11test.TestModules#tokens")
    void badSlotIndexRaisesEachNativesClass(TestModules.Token token) throws Exception {
        int m = token.moduleId();
        int count = PKCS11Module.getNumberOfSlots(m);
        for (int bad : new int[] {count, -1}) {
            String message = "PKCS11Module::getSlot(unsigned int) - index '" + bad + "' is out of bounds (0, "
                    + (count - 1) + ")";
            TestModules.SlotCall[] indexFailures = {PKCS11Slot::openSession, PKCS11Slot::closeSession,
                PKCS11Slot::getSessionOpened, PKCS11Slot::closeAllSessions, (a, b) -> PKCS11Slot.login(a, b, "1234", 1),
                PKCS11Slot::logout, (a, b) -> PKCS11Slot.setPIN(a, b, "1", "2"), PKCS11Slot::tokenPresent,
                (a, b) -> PKCS11Slot.digestInit(a, b, PKCS11Slot.CKM_SHA_1),
                (a, b) -> PKCS11Slot.digestUpdate(a, b, new byte[1]), (a, b) -> PKCS11Slot.generateRandom(a, b, 4)};
            TestModules.SlotCall[] pkcs11Failures = {(a, b) -> PKCS11Slot.initToken(a, b, "1", "L"),
                (a, b) -> PKCS11Slot.initPIN(a, b, "1"), (a, b) -> PKCS11Slot.initTokenAndUserPIN(a, b, "1", "L", "2"),
                PKCS11Slot::digestFinal, (a, b) -> PKCS11Slot.seedRandom(a, b, new byte[1])};
            for (TestModules.SlotCall call : indexFailures) {
                expectIndexFailure(IndexOutOfBoundsException.class, m, bad, message, call);
            }
            for (TestModules.SlotCall call : pkcs11Failures) {
                expectIndexFailure(PKCS11Exception.class, m, bad, message, call);
            }
        }
    }

    @Test
    void unknownModuleFailsEverySlotNativeAsPKCS11Exception() {
        String message = "PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '-3' was not found";
        expectIndexFailure(PKCS11Exception.class, -3, 0, message, PKCS11Slot::openSession);
        expectIndexFailure(PKCS11Exception.class, -3, 0, message, (a, b) -> PKCS11Slot.login(a, b, "1", 1));
        expectIndexFailure(PKCS11Exception.class, -3, 0, message, PKCS11Slot::digestFinal);
    }
}
