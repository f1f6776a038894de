package orvane.diaglog;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.requiredEnv;

import java.io.RandomAccessFile;
import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.pkcs11test.MockControl;

/** The library loaded with ORVNATIVE_LOG set (see suites/diaglog.cmake), against the mock module. */
class DiagnosticLogTest {
    private static final String LOG = requiredEnv("ORVNATIVE_LOG");
    private static final String MOCK = requiredEnv("ORV_P11MOCK");
    private static final Pattern BRIDGE_CALL = Pattern.compile(" pkcs11 (C_\\w+)\\((?:session (\\d+))?.*\\) = (\\w+) ");
    private static final Pattern MOCK_CALL = Pattern.compile("(C_\\w+) (?:session=(\\d+) )?.*rv=(0x\\w+)");

    @Test
    void signDataLogsTheModulesOwnCallsInItsOrder() throws Exception {
        MockControl.open(MOCK);
        int m = PKCS11Module.loadLibrary(MOCK);
        MockControl.reset();
        PKCS11Module.refresh(m);
        PKCS11Slot.openSession(m, 0);
        long beforeLogin = new java.io.File(LOG).length();
        PKCS11Slot.login(m, 0, "1234", PKCS11Slot.CKU_USER);
        // The thread id and the time are stripped: either may hold the PIN's digits by chance.
        List<String> login = appendedSince(beforeLogin).stream()
                .map(l -> l.replaceAll("^\\S+ tid=\\d+ | \\(\\d+\\.\\d{3} ms\\)$", "")).toList();
        assertTrue(login.stream().anyMatch(l -> l.startsWith("native PKCS11Slot.login(")), login.toString());
        assertTrue(login.stream().noneMatch(l -> l.contains("1234")), login.toString());
        MockControl.logClear();
        long from = new java.io.File(LOG).length();
        byte[] signature = PKCS11Slot.signData(m, 0, "P11MOCK-CERT-A-RSA".getBytes(StandardCharsets.US_ASCII),
                new byte[300], 0x40);
        List<String> lines = appendedSince(from);
        List<String> bridge = calls(lines, BRIDGE_CALL, "CKR_OK");
        assertEquals(calls(MockControl.log().lines().toList(), MOCK_CALL, "0x0"), bridge, String.join("\n", lines));
        assertTrue(bridge.contains("C_Sign 1 ok"), bridge.toString());
        assertTrue(lines.get(lines.size() - 1).matches(".* tid=\\d+ native PKCS11Slot\\.signData\\(" + m
                + ", 0, byte\\[18\\], byte\\[300\\], 64\\) = byte\\[" + signature.length + "\\] \\(\\d+\\.\\d{3} ms\\)"),
                lines.toString());
    }

    @Test
    void lineBreaksInArgumentsAndMessagesStayInTheirLine() throws Exception {
        long from = new java.io.File(LOG).length();
        assertThrows(PKCS11Exception.class, () -> PKCS11Module.loadLibrary("/no/such\nmodule.so"));
        assertEquals(List.of("native PKCS11Module.loadLibrary('/no/such\\nmodule.so') threw orvane.clapi.crypto."
                + "PKCS11Exception: PKCS11Module::loadPKCS11Library() - Failed on call to LoadLibrary('/no/such\\n"
                + "module.so')"), appendedSince(from).stream().map(l -> l.replaceAll("^\\S+ tid=\\d+ | \\(.*ms\\)$", ""))
                .toList());
    }

    /** Each call as "name session ok|failed", in order. */
    private static List<String> calls(List<String> lines, Pattern call, String ok) {
        return lines.stream().map(call::matcher).filter(Matcher::find)
                .map(c -> c.group(1) + " " + c.group(2) + " " + (c.group(3).equals(ok) ? "ok" : "failed")).toList();
    }

    private static List<String> appendedSince(long offset) throws Exception {
        try (RandomAccessFile file = new RandomAccessFile(LOG, "r")) {
            byte[] tail = new byte[(int) (file.length() - offset)];
            file.seek(offset);
            file.readFully(tail);
            return new String(tail, StandardCharsets.UTF_8).lines().toList();
        }
    }
}
