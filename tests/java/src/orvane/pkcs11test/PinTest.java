package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.stream.Stream;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/** PIN changes and token initialisation, on SoftHSM2 and on the mock module. */
class PinTest {
    static Stream<TestModules.Token> pinTokens() throws Exception {
        TestModules.resetMock();
        return Stream.of(TestModules.pinChange(), TestModules.mockTokenA());
    }

    static Stream<TestModules.Token> initTokens() throws Exception {
        TestModules.resetMock();
        TestModules.Token blank = new TestModules.Token("P11Mock Token D", null, "any-so-pin");
        blank.moduleId = TestModules.mock();
        blank.slotIndex = 2;
        return Stream.of(TestModules.reinit(), blank);
    }

    private static void expectWrongPin(TestModules.Token token, String pin) {
        PKCS11Exception e = assertThrows(PKCS11Exception.class,
                () -> PKCS11Slot.login(token.moduleId, token.slotIndex, pin, PKCS11Slot.CKU_USER));
        assertTrue(e.getMessage().endsWith(" - CKR_PIN_INCORRECT"), e.getMessage());
    }

    @ParameterizedTest
    @MethodSource("pinTokens")
    void setPinThenLoginWithNewPin(TestModules.Token token) throws Exception {
        int m = token.moduleId;
        int s = token.slotIndex;
        String newPin = token.userPin + "0";
        PKCS11Slot.openSession(m, s);
        try {
            PKCS11Slot.setPIN(m, s, token.userPin, newPin);
            expectWrongPin(token, token.userPin);
            PKCS11Slot.login(m, s, newPin, PKCS11Slot.CKU_USER);
            PKCS11Slot.logout(m, s);
            PKCS11Slot.setPIN(m, s, newPin, token.userPin);
            PKCS11Slot.login(m, s, token.userPin, PKCS11Slot.CKU_USER);
            PKCS11Slot.logout(m, s);
        } finally {
            PKCS11Slot.closeSession(m, s);
        }
    }

    @ParameterizedTest
    @MethodSource("pinTokens")
    void setPinWithWrongOldPinHidesBoth(TestModules.Token token) throws Exception {
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        try {
            PKCS11Exception e = assertThrows(PKCS11Exception.class,
                    () -> PKCS11Slot.setPIN(token.moduleId, token.slotIndex, "wrong-old", "brand-new"));
            assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                    + " - CKR_PIN_INCORRECT", e.getMessage());
            assertFalse(e.getMessage().contains("wrong-old") || e.getMessage().contains("brand-new"));
        } finally {
            PKCS11Slot.closeSession(token.moduleId, token.slotIndex);
        }
    }

    @ParameterizedTest
    @MethodSource("initTokens")
    void initTokenClosesSessionAndLeavesNone(TestModules.Token token) throws Exception {
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        PKCS11Slot.initToken(token.moduleId, token.slotIndex, token.soPin, "orv-fresh");
        assertFalse(PKCS11Slot.getSessionOpened(token.moduleId, token.slotIndex));
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        PKCS11Slot.login(token.moduleId, token.slotIndex, token.soPin, PKCS11Slot.CKU_SO);
        PKCS11Slot.logout(token.moduleId, token.slotIndex);
        PKCS11Slot.closeSession(token.moduleId, token.slotIndex);
    }

    @ParameterizedTest
    @MethodSource("initTokens")
    void initTokenAndUserPinThenUserLogin(TestModules.Token token) throws Exception {
        String userPin = "5678";
        PKCS11Slot.initTokenAndUserPIN(token.moduleId, token.slotIndex, token.soPin, "orv-again", userPin);
        try {
            assertTrue(PKCS11Slot.getSessionOpened(token.moduleId, token.slotIndex));
            PKCS11Slot.login(token.moduleId, token.slotIndex, userPin, PKCS11Slot.CKU_USER);
            PKCS11Slot.logout(token.moduleId, token.slotIndex);
        } finally {
            PKCS11Slot.closeSession(token.moduleId, token.slotIndex);
        }
    }

    @ParameterizedTest
    @MethodSource("initTokens")
    void overlongLabelRefusedBeforeTheToken(TestModules.Token token) {
        String label = "0123456789012345678901234567890123";
        PKCS11Exception e = assertThrows(PKCS11Exception.class,
                () -> PKCS11Slot.initToken(token.moduleId, token.slotIndex, token.soPin, label));
        assertEquals("PKCS11Slot::initToken(const String&, const String&) - The label '" + label
                + "' is longer than 32 bytes", e.getMessage());
    }

    @ParameterizedTest
    @MethodSource("pinTokens")
    void wrongSoPinHiddenInInitTokenMessage(TestModules.Token token) {
        PKCS11Exception e = assertThrows(PKCS11Exception.class,
                () -> PKCS11Slot.initToken(token.moduleId, token.slotIndex, "bad-so-pin", "orv-x"));
        assertEquals("PKCS11Slot::initToken(const String&, const String&) - Failed on call to C_InitToken('****', 10,"
                + " orv-x) - CKR_PIN_INCORRECT", e.getMessage());
    }
}
