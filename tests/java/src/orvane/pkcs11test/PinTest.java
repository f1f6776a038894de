package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.pkcs11test.TestModules.failure;

import java.util.stream.Stream;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

import orvane.clapi.crypto.PKCS11Slot;

/** PIN changes and token initialisation, on SoftHSM2 and on the mock module. */
class PinTest {
    static Stream<TestModules.Token> pinTokens() throws Exception {
        TestModules.resetMock();
        return Stream.of(TestModules.PIN_CHANGE, TestModules.MOCK_A);
    }

    static Stream<TestModules.Token> initTokens() throws Exception {
        TestModules.resetMock();
        return Stream.of(TestModules.REINIT,
                new TestModules.Token("P11Mock Token D", null, "any-so-pin", TestModules.mock, 2));
    }

    @ParameterizedTest
    @MethodSource("pinTokens")
    void setPinThenLoginWithNewPin(TestModules.Token token) throws Exception {
        String newPin = token.userPin() + "0";
        TestModules.inSession(token, (m, s) -> {
            PKCS11Slot.setPIN(m, s, token.userPin(), newPin);
            String wrong = failure(() -> PKCS11Slot.login(m, s, token.userPin(), PKCS11Slot.CKU_USER));
            assertTrue(wrong.endsWith(" - CKR_PIN_INCORRECT"), wrong);
            PKCS11Slot.login(m, s, newPin, PKCS11Slot.CKU_USER);
            PKCS11Slot.logout(m, s);
            PKCS11Slot.setPIN(m, s, newPin, token.userPin());
            PKCS11Slot.login(m, s, token.userPin(), PKCS11Slot.CKU_USER);
            PKCS11Slot.logout(m, s);
        });
    }

    @ParameterizedTest
    @MethodSource("pinTokens")
    void setPinWithWrongOldPinHidesBoth(TestModules.Token token) throws Exception {
        TestModules.inSession(token, (m, s) -> {
            String message = failure(() -> PKCS11Slot.setPIN(m, s, "wrong-old", "brand-new"));
            assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                    + " - CKR_PIN_INCORRECT", message);
            assertFalse(message.contains("wrong-old") || message.contains("brand-new"));
        });
    }

    @ParameterizedTest
    @MethodSource("initTokens")
    void initTokenClosesSessionAndLeavesNone(TestModules.Token token) throws Exception {
        PKCS11Slot.openSession(token.moduleId(), token.slotIndex());
        PKCS11Slot.initToken(token.moduleId(), token.slotIndex(), token.soPin(), "orv-fresh");
        assertFalse(PKCS11Slot.getSessionOpened(token.moduleId(), token.slotIndex()));
        TestModules.inSession(token, (m, s) -> {
            PKCS11Slot.login(m, s, token.soPin(), PKCS11Slot.CKU_SO);
            PKCS11Slot.logout(m, s);
        });
    }

    @ParameterizedTest
    @MethodSource("initTokens")
    void initTokenAndUserPinThenUserLogin(TestModules.Token token) throws Exception {
        String userPin = "5678";
        PKCS11Slot.initTokenAndUserPIN(token.moduleId(), token.slotIndex(), token.soPin(), "orv-again", userPin);
        try {
            assertTrue(PKCS11Slot.getSessionOpened(token.moduleId(), token.slotIndex()));
            PKCS11Slot.login(token.moduleId(), token.slotIndex(), userPin, PKCS11Slot.CKU_USER);
            PKCS11Slot.logout(token.moduleId(), token.slotIndex());
        } finally {
            PKCS11Slot.closeSession(token.moduleId(), token.slotIndex());
        }
    }

    @ParameterizedTest
    @MethodSource("initTokens")
    void overlongLabelRefusedBeforeTheToken(TestModules.Token token) {
        String label = "0123456789012345678901234567890123";
        assertEquals("PKCS11Slot::initToken(const String&, const String&) - The label '" + label
                + "' is longer than 32 bytes",
                failure(() -> PKCS11Slot.initToken(token.moduleId(), token.slotIndex(), token.soPin(), label)));
    }

    @ParameterizedTest
    @MethodSource("pinTokens")
    void wrongSoPinHiddenInInitTokenMessage(TestModules.Token token) {
        assertEquals("PKCS11Slot::initToken(const String&, const String&) - Failed on call to C_InitToken('****', 10,"
                + " orv-x) - CKR_PIN_INCORRECT",
                failure(() -> PKCS11Slot.initToken(token.moduleId(), token.slotIndex(), "bad-so-pin", "orv-x")));
    }
}
