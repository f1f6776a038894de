package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;
import static orvane.testsupport.SoftHsmSetup.hex;

import java.io.PrintWriter;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Every PIN-taking native driven through its failures with a recognisable
 * PIN: no exception text, cause or stack trace may carry it, in clear or in
 * hex. The suite's ctest entry also fails when the PIN shows anywhere in the
 * JVM's output, which is where the library's own standard error goes.
 */
class PinSecrecyTest {
    static final String MARK = "Qz7PinMark";
    private static final String LONG_MARK = MARK.repeat(30);
    private static final String HEX_MARK = hex(MARK.getBytes(StandardCharsets.UTF_8));

    private final List<Throwable> failures = new ArrayList<>();

    private Throwable failure(Executable call) {
        Throwable t = assertThrows(Throwable.class, call);
        failures.add(t);
        return t;
    }

    private String pkcs11Failure(Executable call) {
        return assertInstanceOf(PKCS11Exception.class, failure(call)).getMessage();
    }

    @AfterEach
    void noTextCarriesThePin() {
        assertFalse(failures.isEmpty());
        for (Throwable t : failures) {
            StringWriter trace = new StringWriter();
            t.printStackTrace(new PrintWriter(trace));
            for (Throwable c = t; c != null; c = c.getCause()) {
                String text = String.valueOf(c.getMessage()) + "\n" + c + "\n" + trace;
                for (String form : new String[] {MARK, HEX_MARK.toUpperCase(), HEX_MARK}) {
                    if (text.contains(form)) {
                        fail("a " + c.getClass().getName() + " carries the PIN");
                    }
                }
            }
        }
    }

    @Test
    void softHsmRefusals() throws Exception {
        TestModules.Token t = TestModules.MAIN;
        int m = t.moduleId();
        int s = t.slotIndex();
        assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - A session has not been opened !",
                pkcs11Failure(() -> PKCS11Slot.login(m, s, MARK, PKCS11Slot.CKU_USER)));
        assertTrue(failure(() -> PKCS11Slot.login(m, 999, MARK, PKCS11Slot.CKU_USER))
                instanceof IndexOutOfBoundsException);
        failure(() -> PKCS11Slot.login(-7, s, MARK, PKCS11Slot.CKU_USER));
        TestModules.inSession(t, (a, b) -> {
            assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                    + " - CKR_PIN_INCORRECT", pkcs11Failure(() -> PKCS11Slot.login(m, s, MARK, PKCS11Slot.CKU_USER)));
            assertTrue(pkcs11Failure(() -> PKCS11Slot.login(m, s, MARK, 0)).contains("C_Login('****', '0')"));
            assertTrue(pkcs11Failure(() -> PKCS11Slot.setPIN(m, s, MARK, t.userPin())).contains("'****'"));
            String tooLong = pkcs11Failure(() -> PKCS11Slot.setPIN(m, s, t.userPin(), LONG_MARK));
            assertTrue(tooLong.endsWith("'****', '****') - CKR_PIN_LEN_RANGE"), tooLong);
            PKCS11Slot.logout(m, s);
            assertTrue(pkcs11Failure(() -> PKCS11Slot.initPIN(m, s, MARK)).contains("C_InitPIN('****', "));
        });
        assertTrue(pkcs11Failure(() -> PKCS11Slot.initToken(m, s, MARK, t.label())).contains("C_InitToken('****', "));
        assertTrue(pkcs11Failure(() -> PKCS11Slot.initTokenAndUserPIN(m, s, MARK, t.label(), MARK))
                .endsWith(" - CKR_PIN_INCORRECT"));
        // The token still answers to its own PIN: nothing above changed it.
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.login(m, s, t.userPin(), PKCS11Slot.CKU_USER);
        PKCS11Slot.closeSession(m, s);
    }

    @Test
    void moduleFaultsOnEveryPinCall() throws Exception {
        long[] faults = {0x5, 0x30, 0xA1, 0xA2, 0x32};
        String[] names = {"CKR_GENERAL_ERROR", "CKR_DEVICE_ERROR", "CKR_PIN_INVALID", "CKR_PIN_LEN_RANGE",
            "CKR_DEVICE_REMOVED"};
        for (int i = 0; i < faults.length; i++) {
            String tail = " - " + names[i];
            assertTrue(mockFailure("C_Login", faults[i], (m, s) -> PKCS11Slot.login(m, s, MARK, PKCS11Slot.CKU_USER))
                    .endsWith("C_Login('****', '1')" + tail));
            assertTrue(mockFailure("C_Login", faults[i], (m, s) -> PKCS11Slot.setPIN(m, s, MARK, MARK))
                    .endsWith(tail));
            assertTrue(mockFailure("C_SetPIN", faults[i], (m, s) -> PKCS11Slot.setPIN(m, s, "1234", MARK))
                    .endsWith("'****', '****')" + tail));
            assertTrue(mockFailure("C_InitPIN", faults[i], (m, s) -> PKCS11Slot.initPIN(m, s, MARK))
                    .endsWith(tail));
            assertTrue(mockFailure("C_InitToken", faults[i], (m, s) -> PKCS11Slot.initToken(m, s, MARK, "orv"))
                    .endsWith(tail));
            assertTrue(mockFailure("C_InitPIN", faults[i],
                    (m, s) -> PKCS11Slot.initTokenAndUserPIN(m, s, "87654321", "orv", MARK)).endsWith(tail));
        }
    }

    /** One native on mock token A with a session open, the named call failing once. */
    private String mockFailure(String function, long rv, TestModules.SlotCall call) throws Exception {
        TestModules.resetMock();
        TestModules.Token a = TestModules.MOCK_A;
        PKCS11Slot.openSession(a.moduleId(), a.slotIndex());
        MockControl.fail(function, rv, 1);
        try {
            return pkcs11Failure(() -> call.call(a.moduleId(), a.slotIndex()));
        } finally {
            MockControl.clearFaults();
            PKCS11Slot.closeAllSessions(a.moduleId(), a.slotIndex());
        }
    }
}
