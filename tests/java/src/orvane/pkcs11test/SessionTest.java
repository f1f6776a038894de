package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.stream.Stream;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/** Sessions and login, answered alike by SoftHSM2 and the mock module. */
class SessionTest {
    static Stream<TestModules.Token> tokens() throws Exception {
        TestModules.resetMock();
        return Stream.of(TestModules.main(), TestModules.mockTokenA());
    }

    private TestModules.Token used;

    @AfterEach
    void closeSession() throws Exception {
        if (used != null) {
            PKCS11Slot.closeSession(used.moduleId, used.slotIndex);
        }
    }

    private TestModules.Token use(TestModules.Token token) {
        used = token;
        return token;
    }

    @ParameterizedTest
    @MethodSource("tokens")
    void openAndCloseSession(TestModules.Token token) throws Exception {
        use(token);
        assertTrue(PKCS11Slot.tokenPresent(token.moduleId, token.slotIndex));
        assertFalse(PKCS11Slot.getSessionOpened(token.moduleId, token.slotIndex));
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        assertTrue(PKCS11Slot.getSessionOpened(token.moduleId, token.slotIndex));
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        PKCS11Slot.closeSession(token.moduleId, token.slotIndex);
        assertFalse(PKCS11Slot.getSessionOpened(token.moduleId, token.slotIndex));
        PKCS11Slot.closeSession(token.moduleId, token.slotIndex);
    }

    @ParameterizedTest
    @MethodSource("tokens")
    void closeAllSessionsLeavesNone(TestModules.Token token) throws Exception {
        use(token);
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        PKCS11Slot.closeAllSessions(token.moduleId, token.slotIndex);
        assertFalse(PKCS11Slot.getSessionOpened(token.moduleId, token.slotIndex));
        PKCS11Slot.closeAllSessions(token.moduleId, token.slotIndex);
    }

    @ParameterizedTest
    @MethodSource("tokens")
    void wrongPinHiddenInMessage(TestModules.Token token) throws Exception {
        use(token);
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        PKCS11Exception e = assertThrows(PKCS11Exception.class,
                () -> PKCS11Slot.login(token.moduleId, token.slotIndex, "86420", PKCS11Slot.CKU_USER));
        assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                + " - CKR_PIN_INCORRECT", e.getMessage());
        assertFalse(e.getMessage().contains("86420"));
    }

    @ParameterizedTest
    @MethodSource("tokens")
    void loginAndLogoutToleratedTwice(TestModules.Token token) throws Exception {
        use(token);
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        PKCS11Slot.login(token.moduleId, token.slotIndex, token.userPin, PKCS11Slot.CKU_USER);
        PKCS11Slot.login(token.moduleId, token.slotIndex, token.userPin, PKCS11Slot.CKU_USER);
        PKCS11Slot.logout(token.moduleId, token.slotIndex);
        PKCS11Slot.logout(token.moduleId, token.slotIndex);
        assertTrue(PKCS11Slot.getSessionOpened(token.moduleId, token.slotIndex));
    }

    @ParameterizedTest
    @MethodSource("tokens")
    void loginAndLogoutNeedSession(TestModules.Token token) {
        use(token);
        assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - A session has not been opened !",
                assertThrows(PKCS11Exception.class,
                        () -> PKCS11Slot.login(token.moduleId, token.slotIndex, token.userPin, 1)).getMessage());
        assertEquals("PKCS11Slot::login(const String&) - A session has not been opened !",
                assertThrows(PKCS11Exception.class, () -> PKCS11Slot.logout(token.moduleId, token.slotIndex))
                        .getMessage());
        assertEquals("PKCS11Slot::setPIN(const String&, const String&) - A session has not been opened !",
                assertThrows(PKCS11Exception.class,
                        () -> PKCS11Slot.setPIN(token.moduleId, token.slotIndex, "a", "b")).getMessage());
        assertEquals("PKCS11Slot::initPIN(const String&) - A session has not been opened !",
                assertThrows(PKCS11Exception.class, () -> PKCS11Slot.initPIN(token.moduleId, token.slotIndex, "a"))
                        .getMessage());
    }

    interface SlotCall {
        void call(int moduleId, int slotIndex) throws Exception;
    }

    private static void expectIndexFailure(Class<? extends Throwable> expected, int moduleId, int slotIndex,
            String message, SlotCall call) {
        Throwable t = assertThrows(Throwable.class, () -> call.call(moduleId, slotIndex));
        assertEquals(expected, t.getClass(), () -> "raised " + t);
        assertEquals(message, t.getMessage());
    }

    @ParameterizedTest
    @MethodSource("tokens")
    void badSlotIndexRaisesEachNativesClass(TestModules.Token token) throws Exception {
        int m = token.moduleId;
        int count = orvane.clapi.crypto.PKCS11Module.getNumberOfSlots(m);
        for (int bad : new int[] {count, -1}) {
            String message = "PKCS11Module::getSlot(unsigned int) - index '" + bad + "' is out of bounds (0, "
                    + (count - 1) + ")";
            Class<? extends Throwable> ioobe = IndexOutOfBoundsException.class;
            Class<? extends Throwable> pkcs11 = PKCS11Exception.class;
            expectIndexFailure(ioobe, m, bad, message, PKCS11Slot::openSession);
            expectIndexFailure(ioobe, m, bad, message, PKCS11Slot::closeSession);
            expectIndexFailure(ioobe, m, bad, message, PKCS11Slot::getSessionOpened);
            expectIndexFailure(ioobe, m, bad, message, PKCS11Slot::closeAllSessions);
            expectIndexFailure(ioobe, m, bad, message, (a, b) -> PKCS11Slot.login(a, b, "1234", 1));
            expectIndexFailure(ioobe, m, bad, message, PKCS11Slot::logout);
            expectIndexFailure(ioobe, m, bad, message, (a, b) -> PKCS11Slot.setPIN(a, b, "1", "2"));
            expectIndexFailure(ioobe, m, bad, message, PKCS11Slot::tokenPresent);
            expectIndexFailure(pkcs11, m, bad, message, (a, b) -> PKCS11Slot.initToken(a, b, "1", "L"));
            expectIndexFailure(pkcs11, m, bad, message, (a, b) -> PKCS11Slot.initPIN(a, b, "1"));
            expectIndexFailure(pkcs11, m, bad, message, (a, b) -> PKCS11Slot.initTokenAndUserPIN(a, b, "1", "L", "2"));
            expectIndexFailure(ioobe, m, bad, message, (a, b) -> PKCS11Slot.digestInit(a, b, PKCS11Slot.CKM_SHA_1));
            expectIndexFailure(ioobe, m, bad, message, (a, b) -> PKCS11Slot.digestUpdate(a, b, new byte[1]));
            expectIndexFailure(pkcs11, m, bad, message, PKCS11Slot::digestFinal);
            expectIndexFailure(pkcs11, m, bad, message, (a, b) -> PKCS11Slot.seedRandom(a, b, new byte[1]));
            expectIndexFailure(ioobe, m, bad, message, (a, b) -> PKCS11Slot.generateRandom(a, b, 4));
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
