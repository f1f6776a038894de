package orvane.jnihost;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.requiredEnv;

import java.io.PrintWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

import org.junit.jupiter.api.Test;


/**
 * The native cases in a real JVM against libORVNative.so. Its transcript is
 * compared byte for byte with the C++ host's by a ctest of its own.
 */
class NativeCasesTest {
    @Test
    void everyCaseMeetsItsExpectation() throws Exception {
        Path material = Paths.get(requiredEnv("ORV_JNIHOST_MATERIAL"));
        Map<String, String> vars = new HashMap<>();
        vars.put("MOCK", requiredEnv("ORV_P11MOCK"));
        CaseFile cases = new CaseFile(Paths.get(requiredEnv("ORV_JNIHOST_CASES")), vars, material);
        assertTrue(cases.statements().size() > 100, "the case file lost its cases");
        List<String> failures;
        try (PrintWriter transcript = new PrintWriter(
                Files.newBufferedWriter(Paths.get(requiredEnv("ORV_JNIHOST_TRANSCRIPT")), StandardCharsets.UTF_8))) {
            failures = new JvmCaseRunner(material, vars.get("MOCK")).run(cases, transcript);
        }
        assertEquals("", String.join("\n", failures));
    }
}
