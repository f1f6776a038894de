package orvane.diaglog;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;
import static orvane.testsupport.SoftHsmSetup.requiredEnv;

import java.io.FileInputStream;
import java.io.RandomAccessFile;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
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
    private static final Pattern WHOLE_LINE = Pattern.compile("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z tid=\\d+ "
            + "(library loaded, logging to .*|(native|pkcs11) \\S+\\(.*\\) = \\w+ \\(\\d+\\.\\d{3} ms\\))");

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

    @Test
    void aFifoWithoutReaderALinkOrAnotherUsersFileIsRefusedAndTheApplicationRunsOn() throws Exception {
        Path dir = Files.createTempDirectory(Path.of(LOG).getParent(), "edges");
        Path target = Files.writeString(dir.resolve("target"), "untouched\n");
        Path foreign = Files.writeString(dir.resolve("foreign"), "");
        boolean root = System.getProperty("user.name").equals("root");
        if (root) {
            Files.setAttribute(foreign, "unix:uid", 65534);
        }
        for (Object[] refusal : new Object[][] {{mkfifo(dir.resolve("fifo")), 6},
                {Files.createSymbolicLink(dir.resolve("link"), target), 40}, {foreign, 1}}) {
            assertEquals((!root && refusal[0] == foreign ? "" : "ORVNative: cannot open the diagnostic log '"
                    + refusal[0] + "' (error " + refusal[1] + "); nothing is logged\n") + "calls 1\n", child(refusal[0]));
        }
        assertEquals("untouched\n", Files.readString(target));
        assertEquals(root ? 0 : 1, Files.readString(foreign).lines().count());
    }

    @Test
    void aNewLogIsItsOwnersAlone() throws Exception {
        Path log = Files.createTempDirectory(Path.of(LOG).getParent(), "edges").resolve("new.log");
        assertEquals("calls 1\n", child(log));
        assertEquals(PosixFilePermissions.fromString("rw-------"), Files.getPosixFilePermissions(log));
        assertTrue(Files.readString(log).contains(" library loaded, logging to " + log + "\n"), Files.readString(log));
    }

    @Test
    void aReaderThatStopsReadingCostsLinesNotCalls() throws Exception {
        Path fifo = mkfifo(Files.createTempDirectory(Path.of(LOG).getParent(), "edges").resolve("fifo"));
        // Held open for reading (and writing, so the open returns at once), never read until the child is done.
        try (RandomAccessFile reader = new RandomAccessFile(fifo.toFile(), "rw")) {
            assertEquals("calls 8000\n", child(fifo, MOCK, "4", "2000"));
            byte[] held = new byte[new FileInputStream(reader.getFD()).available()];
            reader.readFully(held);
            assertTrue(held.length > 65536 - 4096, "the pipe never filled: " + held.length + " bytes");
            String text = new String(held, StandardCharsets.UTF_8);
            assertTrue(text.endsWith("\n"), text.substring(text.length() - 200));
            text.lines().forEach(line -> assertTrue(WHOLE_LINE.matcher(line).matches(), line));
        }
    }

    /** Standard output and error of a JVM of its own with the log at log, given 60 s to finish. */
    private static String child(Object log, String... args) throws Exception {
        List<String> command = new ArrayList<>(List.of(Path.of(System.getProperty("java.home"), "bin", "java").toString(),
                "-Djava.library.path=" + System.getProperty("java.library.path"), "-cp",
                requiredEnv("ORV_TEST_CLASSPATH"), LoggingChild.class.getName()));
        command.addAll(List.of(args));
        ProcessBuilder builder = new ProcessBuilder(command).redirectErrorStream(true);
        builder.environment().put("ORVNATIVE_LOG", log.toString());
        Path out = Files.createTempFile("orvchild", ".out");
        try {
            Process process = builder.redirectOutput(out.toFile()).start();
            if (!process.waitFor(60, TimeUnit.SECONDS)) {
                process.destroyForcibly();
                fail("the child did not finish within 60 s with the log at " + log + ": " + Files.readString(out));
            }
            assertEquals(0, process.exitValue(), Files.readString(out));
            return Files.readString(out);
        } finally {
            Files.deleteIfExists(out);
        }
    }

    private static Path mkfifo(Path path) throws Exception {
        assertEquals(0, new ProcessBuilder("mkfifo", path.toString()).inheritIO().start().waitFor());
        return path;
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
