package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

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
    private static final long CKR_GENERAL_ERROR = 0x5;
    private static final long CKR_DEVICE_ERROR = 0x30;
    private static final long CKR_DEVICE_REMOVED = 0x32;
    private static final long CKR_PIN_INVALID = 0xA1;
    private static final long CKR_PIN_LEN_RANGE = 0xA2;

    private final List<Throwable> failures = new ArrayList<>();

    private Throwable failure(Executable call) {
        Throwable t = assertThrows(Throwable.class, call);
        failures.add(t);
        return t;
    }

    private String pkcs11Failure(Executable call) {
        Throwable t = failure(call);
        if (!(t instanceof PKCS11Exception)) {
            fail("expected PKCS11Exception, got " + t.getClass().getName());
        }
        return t.getMessage();
    }

    private static String hex(String text, boolean upper) {
        StringBuilder s = new StringBuilder();
        for (byte b : text.getBytes(StandardCharsets.UTF_8)) {
            s.append(String.format(upper ? "%02X" : "%02x", b));
        }
        return s.toString();
    }

    @AfterEach
    void noTextCarriesThePin() {
        assertFalse(failures.isEmpty());
        for (Throwable t : failures) {
            StringWriter trace = new StringWriter();
            t.printStackTrace(new PrintWriter(trace));
            for (Throwable c = t; c != null; c = c.getCause()) {
                String text = String.valueOf(c.getMessage()) + "\n" + c + "\n" + trace;
                for (String form : new String[] {MARK, hex(MARK, true), hex(MARK, false)}) {
                    if (text.contains(form)) {
                        fail("a " + c.getClass().getName() + " carries the PIN");
                    }
                }
            }
        }
    }

    @Test
    void softHsmRefusals() throws Exception {
        TestModules.Token t = TestModules.main();
        int m = t.moduleId;
        int s = t.slotIndex;
        assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - A session has not been opened !",
                pkcs11Failure(() -> PKCS11Slot.login(m, s, MARK, PKCS11Slot.CKU_USER)));
        assertTrue(failure(() -> PKCS11Slot.login(m, 999, MARK, PKCS11Slot.CKU_USER))
                instanceof IndexOutOfBoundsException);
        failure(() -> PKCS11Slot.login(-7, s, MARK, PKCS11Slot.CKU_USER));
        PKCS11Slot.openSession(m, s);
        try {
            assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                    + " - CKR_PIN_INCORRECT", pkcs11Failure(() -> PKCS11Slot.login(m, s, MARK, PKCS11Slot.CKU_USER)));
            assertTrue(pkcs11Failure(() -> PKCS11Slot.login(m, s, MARK, 0)).contains("C_Login('****', '0')"));
            assertTrue(pkcs11Failure(() -> PKCS11Slot.setPIN(m, s, MARK, t.userPin)).contains("'****'"));
            String tooLong = pkcs11Failure(() -> PKCS11Slot.setPIN(m, s, t.userPin, LONG_MARK));
            assertTrue(tooLong.endsWith("'****', '****') - CKR_PIN_LEN_RANGE"), tooLong);
            PKCS11Slot.logout(m, s);
            assertTrue(pkcs11Failure(() -> PKCS11Slot.initPIN(m, s, MARK)).contains("C_InitPIN('****', "));
        } finally {
            PKCS11Slot.closeSession(m, s);
        }
        assertTrue(pkcs11Failure(() -> PKCS11Slot.initToken(m, s, MARK, t.label)).contains("C_InitToken('****', "));
        assertTrue(pkcs11Failure(() -> PKCS11Slot.initTokenAndUserPIN(m, s, MARK, t.label, MARK))
                .endsWith(" - CKR_PIN_INCORRECT"));
        // The token still answers to its own PIN: nothing above changed it.
        PKCS11Slot.openSession(m, s);
        PKCS11Slot.login(m, s, t.userPin, PKCS11Slot.CKU_USER);
        PKCS11Slot.closeSession(m, s);
    }

    @Test
    void moduleFaultsOnEveryPinCall() throws Exception {
        long[] faults = {CKR_GENERAL_ERROR, CKR_DEVICE_ERROR, CKR_PIN_INVALID, CKR_PIN_LEN_RANGE, CKR_DEVICE_REMOVED};
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

    interface SlotCall {
        void run(int moduleId, int slotIndex) throws Exception;
    }

    /** One native on mock token A with a session open, the named call failing once. */
    private String mockFailure(String function, long rv, SlotCall call) throws Exception {
        TestModules.resetMock();
        TestModules.Token a = TestModules.mockTokenA();
        PKCS11Slot.openSession(a.moduleId, a.slotIndex);
        MockControl.fail(function, rv, 1);
        try {
            return pkcs11Failure(() -> call.run(a.moduleId, a.slotIndex));
        } finally {
            MockControl.clearFaults();
            PKCS11Slot.closeAllSessions(a.moduleId, a.slotIndex);
        }
    }
}
