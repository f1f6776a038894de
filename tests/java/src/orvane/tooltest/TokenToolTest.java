package orvane.tooltest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.MODULE;
import static orvane.testsupport.SoftHsmSetup.hex;
import static orvane.testsupport.SoftHsmSetup.requiredEnv;
import static orvane.testsupport.SoftHsmSetup.x509;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.HexFormat;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Random;

import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

import orvane.testsupport.SoftHsmSetup;

/** The token tool run as a user runs it, against a token whose contents the test made itself. */
class TokenToolTest {
    private static final String PIN_VAR = "ORV_TEST_PIN";

    private static SoftHsmToken token;
    private static ToolRunner runner;

    @TempDir
    Path work;

    @BeforeAll
    static void provision() throws Exception {
        token = new SoftHsmToken();
        runner = new ToolRunner(token.conf.toString());
    }

    @AfterAll
    static void removeToken() throws Exception {
        if (token != null) {
            token.close();
        }
    }

    @Test
    void slotsShowsTheTokenWithTrimmedFields() throws Exception {
        ToolRunner.Result r = tool(0, Map.of(), "--module", MODULE, "slots");
        int count = Integer.parseInt(valueOf(r.out(), "Slots with a token:"));
        assertTrue(count >= 1, r.toString());
        for (int i = 0; i < count; i++) {
            assertTrue(r.out().contains("Slot " + i + ":\n"), r.toString());
        }
        assertTrue(r.out().contains("  Label:        " + SoftHsmToken.LABEL + "\n"), r.toString());
        assertEquals(count * 4, r.out().lines().filter(l -> l.matches("  (Label|Manufacturer|Model|Serial): +\\S.*"))
                .count(), "four non-blank, trimmed fields per slot\n" + r);
        assertFalse(r.out().lines().anyMatch(l -> l.endsWith(" ")), "fields are trimmed\n" + r);
    }

    @Test
    void certsShowsWhatJavaDecodesFromTheProvisionedFiles() throws Exception {
        ToolRunner.Result r = tool(Map.of(), onToken("certs"));
        assertEquals("2", valueOf(r.out(), "Certificates:"));
        List<Map<String, String>> listed = listedCertificates();
        for (SoftHsmSetup.KeyFiles pair : token.pairs) {
            X509Certificate cert = x509(pair.certificate);
            Map<String, String> shown = listed.get(indexOf(listed, pair));
            assertEquals(cert.getSubjectX500Principal().getName(), shown.get("Subject"));
            assertEquals(cert.getIssuerX500Principal().getName(), shown.get("Issuer"));
            assertEquals(cert.getSerialNumber().toString(16), shown.get("Serial"));
        }
    }

    @Test
    void signWithEachCertificateMatchesJavaSignature() throws Exception {
        Path doc = randomFile("doc.bin", 5000);
        List<Map<String, String>> listed = listedCertificates();
        for (int index = 0; index < listed.size(); index++) {
            ToolRunner.Result r = tool(0, pin(token.pin), onToken("--pin-env", PIN_VAR, "--cert", "" + index,
                    "sign", doc.toString()));
            assertFalse(r.all().contains(token.pin), "the PIN is never printed");
            byte[] signature = Files.readAllBytes(Path.of(doc + ".sig"));
            SoftHsmSetup.KeyFiles pair = pairShownAt(listed, index);
            // RSA PKCS#1 v1.5 is deterministic: the token must produce Java's exact bytes.
            assertArrayEquals(pair.sign("SHA256withRSA", Files.readAllBytes(doc)), signature);
            assertTrue(pair.verifies("SHA256withRSA", Files.readAllBytes(doc), signature));
        }
    }

    @Test
    void signWithSha1WritesToOutOnly() throws Exception {
        Path doc = randomFile("doc.bin", 777);
        Path out = work.resolve("custom.sig");
        ToolRunner.Result r = tool(0, pin(token.pin), onToken("--pin-env", PIN_VAR, "--mech", "sha1",
                "--out", out.toString(), "sign", doc.toString()));
        assertFalse(Files.exists(Path.of(doc + ".sig")));
        SoftHsmSetup.KeyFiles pair = pairShownAt(listedCertificates(), 0);
        assertArrayEquals(pair.sign("SHA1withRSA", Files.readAllBytes(doc)), Files.readAllBytes(out));
    }

    @Test
    void verifyAcceptsJavaSignaturesAndRejectsBadOnes() throws Exception {
        byte[] data = Files.readAllBytes(randomFile("doc.bin", 3000));
        Path doc = write("doc.bin", data);
        SoftHsmSetup.KeyFiles pair = pairShownAt(listedCertificates(), 0);
        byte[] good = pair.sign("SHA256withRSA", data);
        Path sig = write("doc.sig", good);
        assertEquals("Signature valid\n", tool(0, Map.of(), onToken("verify", doc.toString(), sig.toString())).out());
        byte[] tampered = data.clone();
        tampered[100] ^= 1;
        Path tamperedDoc = write("t.bin", tampered);
        assertEquals("Signature INVALID\n",
                tool(1, Map.of(), onToken("verify", tamperedDoc.toString(), sig.toString())).out());
        tool(1, Map.of(), onToken("--mech", "sha1", "verify", doc.toString(), sig.toString()));
        Path shortSig = write("short.sig", Arrays.copyOf(good, good.length - 1));
        ToolRunner.Result truncated = tool(1, Map.of(), onToken("verify", doc.toString(), shortSig.toString()));
        assertTrue(truncated.out().startsWith("Signature INVALID"), truncated.toString());
    }

    @ParameterizedTest
    @CsvSource({"sha1, SHA-1, 200000", "md5, MD5, 200000", "sha1, SHA-1, 0", "md5, MD5, 65536"})
    void digestMatchesMessageDigest(String alg, String javaName, int size) throws Exception {
        Path file = randomFile("data.bin", size);
        ToolRunner.Result r = tool(0, Map.of(), onToken("--alg", alg, "digest", file.toString()));
        String expected = hex(MessageDigest.getInstance(javaName).digest(Files.readAllBytes(file)));
        assertEquals(expected + "  " + file + "\n", r.out());
    }

    @Test
    void randomGivesTheRequestedNumberOfFreshBytes() throws Exception {
        ToolRunner.Result first = tool(0, Map.of(), onToken("random", "32"));
        ToolRunner.Result second = tool(0, Map.of(), onToken("random", "32"));
        assertTrue(first.out().matches("[0-9a-f]{64}\n"), first.toString());
        assertNotEquals(first.out(), second.out());
        ToolRunner.Result one = tool(Map.of(), onToken("random", "1"));
        assertTrue(one.out().matches("[0-9a-f]{2}\n"), one.toString());
    }

    @Test
    void wrongPinFailsWithTheBridgeMessageAndNoSecret() throws Exception {
        Path doc = randomFile("doc.bin", 100);
        String wrong = SoftHsmToken.randomHex(6);
        ToolRunner.Result r = tool(3, pin(wrong), onToken("--pin-env", PIN_VAR, "sign", doc.toString()));
        assertEquals("error: PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                + " - CKR_PIN_INCORRECT\n", r.err());
        assertFalse(r.all().contains(wrong));
        assertFalse(Files.exists(Path.of(doc + ".sig")));
    }

    @Test
    void diagnosticLogShowsSignatureAndRefusedLoginWithoutSecrets() throws Exception {
        String mark = "Qz7DataMark";
        Path doc = write("doc.txt", mark.repeat(20).getBytes(StandardCharsets.US_ASCII));
        Path log = work.resolve("orvnative.log");
        String wrong = SoftHsmToken.randomHex(6);
        String[] sign = onToken("--pin-env", PIN_VAR, "sign", doc.toString());
        tool(0, Map.of(PIN_VAR, token.pin, "ORVNATIVE_LOG", log.toString()), sign);
        byte[] signature = Files.readAllBytes(Path.of(doc + ".sig"));
        tool(3, Map.of(PIN_VAR, wrong, "ORVNATIVE_LOG", log.toString()), sign);
        String text = Files.readString(log, StandardCharsets.ISO_8859_1);
        String prefix = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z tid=\\d+ ";
        String duration = " \\(\\d+\\.\\d{3} ms\\)";
        assertTrue(text.lines().allMatch(l -> l.matches(prefix + "(library loaded,|native|pkcs11) .*")), text);
        for (String line : List.of("native PKCS11Slot\\.signData\\(0, \\d+, byte\\[\\d+\\], byte\\[220\\], 64\\) = byte\\[256\\]",
                "pkcs11 C_SignInit\\(session \\d+, mechanism 0x40, key \\d+\\) = CKR_OK",
                "pkcs11 C_Sign\\(session \\d+, data length 220, output length 256\\) = CKR_OK",
                "pkcs11 C_Login\\(session \\d+, user 1\\) = CKR_OK", "pkcs11 C_Login\\(session \\d+, user 1\\) = CKR_PIN_INCORRECT",
                "native PKCS11Slot\\.login\\(0, \\d+, '\\*\\*\\*\\*', 1\\) threw orvane\\.clapi\\.crypto\\.PKCS11Exception: "
                        + "PKCS11Slot::login\\(const String&, CK_USER_TYPE\\) - Failed on call to C_Login\\('\\*\\*\\*\\*', '1'\\)"
                        + " - CKR_PIN_INCORRECT")) {
            assertTrue(text.lines().anyMatch(l -> l.matches(prefix + line + duration)), line + "\n" + text);
        }
        for (String secret : List.of(token.pin, wrong, mark, hex(mark.getBytes(StandardCharsets.US_ASCII)),
                hex(Arrays.copyOf(signature, 8)), new String(signature, 0, 8, StandardCharsets.ISO_8859_1))) {
            assertFalse(text.toLowerCase().contains(secret.toLowerCase()), "the log holds '" + secret + "'");
        }
    }

    @Test
    void diagnosticLogOffWritesNothingAndStderrOrAnUnopenableFileChangeNoOutcome() throws Exception {
        Path doc = randomFile("doc.bin", 50);
        String[] sign = onToken("--pin-env", PIN_VAR, "sign", doc.toString());
        ToolRunner.Result off = tool(0, pin(token.pin), sign);
        assertEquals("", off.err());
        assertEquals(List.of("doc.bin", "doc.bin.sig"), Arrays.stream(work.toFile().list()).sorted().toList());
        ToolRunner.Result stderr = tool(0, Map.of(PIN_VAR, token.pin, "ORVNATIVE_LOG", "stderr"), sign);
        assertTrue(stderr.err().contains(" native PKCS11Slot.signData(0, "), stderr.toString());
        assertEquals(off.out(), stderr.out());
        Path unopenable = work.resolve("no-such-dir").resolve("orvnative.log");
        ToolRunner.Result failed = tool(0, Map.of(PIN_VAR, token.pin, "ORVNATIVE_LOG", unopenable.toString()), sign);
        assertEquals("ORVNative: cannot open the diagnostic log '" + unopenable + "' (error 2); nothing is logged\n",
                failed.err());
        assertEquals(off.out(), failed.out());
    }

    @ParameterizedTest
    @CsvSource(delimiter = '|', value = {
        "''",
        "frobnicate",
        "--module|MODULE|random|-5",
        "--module|MODULE|random|0",
        "--module|MODULE|random|abc",
        "--module|MODULE|--slot|x|certs",
        "--module|MODULE|--slot|-1|certs",
        "--module|MODULE|sign",
        "--module|MODULE|verify|a",
        "--module|MODULE|--bogus|certs",
        "--module|MODULE|--mech|md2|sign|f",
        "--module|MODULE|--alg|sha256|digest|f",
        "certs"})
    void usageErrorsExitTwo(String line) throws Exception {
        String[] args = line.isEmpty() ? new String[0] : line.replace("MODULE", MODULE).split("\\|");
        ToolRunner.Result r = tool(2, Map.of(), args);
        assertTrue(r.err().startsWith("error: "), r.toString());
        assertTrue(r.err().contains("Usage: orvtool"), r.toString());
    }

    @Test
    void helpPrintsUsageAndSucceeds() throws Exception {
        ToolRunner.Result r = tool(0, Map.of(), "--help");
        assertTrue(r.out().startsWith("Usage: orvtool"), r.toString());
        r = tool(0, Map.of(), "--version");
        assertEquals("orvtool " + requiredEnv("ORV_VERSION") + "\n", r.out(), r.toString());
    }

    @Test
    void operationalErrorsAreOneClearLine() throws Exception {
        Path missing = work.resolve("missing.txt");
        Path doc = randomFile("doc.bin", 10);
        Map<String[], String> cases = new LinkedHashMap<>();
        cases.put(onToken("--alg", "md5", "digest", missing.toString()),
                "error: cannot read " + missing + ": no such file\n");
        cases.put(onToken("--cert", "7", "verify", doc.toString(), doc.toString()),
                "error: no certificate 7 on the token (it holds 2 X.509 certificates)\n");
        cases.put(new String[] {"--module", MODULE, "--token", "no-such-label", "random", "4"},
                "error: no token labelled 'no-such-label'\n");
        cases.put(new String[] {"--module", work.resolve("none.so").toString(), "slots"},
                "error: no PKCS#11 module at " + work.resolve("none.so") + "\n");
        cases.put(new String[] {"--module", doc.toString(), "slots"},
                "error: PKCS11Module::loadPKCS11Library() - Failed on call to LoadLibrary('" + doc + "')\n");
        cases.put(onToken("--pin-env", "ORV_TEST_UNSET_VARIABLE", "sign", doc.toString()),
                "error: environment variable ORV_TEST_UNSET_VARIABLE is not set or empty\n");
        cases.put(onToken("sign", doc.toString()), "error: no console to read the PIN from; use --pin-env NAME\n");
        for (Map.Entry<String[], String> c : cases.entrySet()) {
            ToolRunner.Result r = tool(3, Map.of(), c.getKey());
            assertEquals(c.getValue(), r.err(), String.join(" ", c.getKey()));
        }
    }

    @Test
    void slotIndexBeyondTheListIsRefused() throws Exception {
        ToolRunner.Result slots = tool(Map.of(), "--module", MODULE, "slots");
        int count = Integer.parseInt(valueOf(slots.out(), "Slots with a token:"));
        ToolRunner.Result r = tool(3, Map.of(), "--module", MODULE, "--slot", "" + count, "random", "4");
        assertTrue(r.err().startsWith("error: no slot " + count + ": the module has " + count + " slot"), r.toString());
    }

    @Test
    void javaWitnessRejectsWhatItShould() throws Exception {
        byte[] data = Files.readAllBytes(randomFile("doc.bin", 64));
        SoftHsmSetup.KeyFiles pair = token.pairs[0];
        Path doc = write("doc.bin", data);
        Path sig = write("doc.sig", pair.sign("SHA1withRSA", data));
        String cert = pair.der.toString();
        assertClean(runner.run("orvane.tool.JavaVerify", Map.of(), cert, doc.toString(), sig.toString(), "sha1"), 0);
        assertClean(runner.run("orvane.tool.JavaVerify", Map.of(), cert, doc.toString(), sig.toString(), "sha256"), 1);
        String otherCert = token.pairs[1].der.toString();
        assertClean(runner.run("orvane.tool.JavaVerify", Map.of(), otherCert, doc.toString(), sig.toString(), "sha1"), 1);
    }

    private ToolRunner.Result tool(Map<String, String> env, String... args) throws Exception {
        return runner.tool(env, args);
    }

    private ToolRunner.Result tool(int exit, Map<String, String> env, String... args) throws Exception {
        ToolRunner.Result r = runner.tool(env, args);
        assertClean(r, exit);
        return r;
    }

    private static String[] onToken(String... args) {
        List<String> all = new ArrayList<>(List.of("--module", MODULE, "--token", SoftHsmToken.LABEL));
        all.addAll(List.of(args));
        return all.toArray(new String[0]);
    }

    private static Map<String, String> pin(String value) {
        return Map.of(PIN_VAR, value);
    }

    /** No stack trace, no JNI complaint, and the expected exit status. */
    private static void assertClean(ToolRunner.Result r, int exit) {
        assertEquals(exit, r.exit(), r.toString());
        for (String bad : List.of("\tat ", "Exception in thread", "WARNING in native method", "FATAL ERROR")) {
            assertFalse(r.all().contains(bad), "output contains '" + bad + "'\n" + r);
        }
    }

    private static String valueOf(String out, String prefix) {
        return out.lines().filter(l -> l.startsWith(prefix)).findFirst()
                .map(l -> l.substring(prefix.length()).trim())
                .orElseThrow(() -> new AssertionError("no '" + prefix + "' line in\n" + out));
    }

    /** What the certs command lists, checked to hold every provisioned certificate. */
    private List<Map<String, String>> listedCertificates() throws Exception {
        ToolRunner.Result r = tool(0, Map.of(), onToken("certs"));
        List<Map<String, String>> listed = certificates(r.out());
        assertEquals(token.pairs.length, listed.size(), r.toString());
        return listed;
    }

    /** The "Certificate N:" blocks of the certs output, in index order. */
    private static List<Map<String, String>> certificates(String out) {
        List<Map<String, String>> blocks = new ArrayList<>();
        for (String line : out.split("\n")) {
            if (line.matches("Certificate \\d+:")) {
                assertEquals("Certificate " + blocks.size() + ":", line);
                blocks.add(new HashMap<>());
            } else if (line.startsWith("  ") && !blocks.isEmpty()) {
                int colon = line.indexOf(':');
                blocks.get(blocks.size() - 1).put(line.substring(2, colon), line.substring(colon + 1).trim());
            }
        }
        return blocks;
    }

    /** Which listed index shows this pair, found by the certificate's own SHA-256 fingerprint. */
    private static int indexOf(List<Map<String, String>> listed, SoftHsmSetup.KeyFiles pair) throws Exception {
        String fingerprint = fingerprint(pair.certificate);
        for (int i = 0; i < listed.size(); i++) {
            if (fingerprint.equals(listed.get(i).get("SHA-256"))) {
                return i;
            }
        }
        throw new AssertionError("fingerprint " + fingerprint + " not listed: " + listed);
    }

    private static SoftHsmSetup.KeyFiles pairShownAt(List<Map<String, String>> listed, int index) throws Exception {
        for (SoftHsmSetup.KeyFiles pair : token.pairs) {
            if (indexOf(listed, pair) == index) {
                return pair;
            }
        }
        throw new AssertionError("no provisioned certificate at index " + index);
    }

    private static String fingerprint(byte[] der) throws Exception {
        return HexFormat.ofDelimiter(":").withUpperCase().formatHex(MessageDigest.getInstance("SHA-256").digest(der));
    }

    private Path randomFile(String name, int size) throws Exception {
        byte[] data = new byte[size];
        new Random(size).nextBytes(data);
        return write(name, data);
    }

    private Path write(String name, byte[] data) throws Exception {
        return Files.write(work.resolve(name), data);
    }
}
