package orvane.providertest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.requiredEnv;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.CodeSigner;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.jar.JarOutputStream;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** keytool and jarsigner, run as a user would, load the provider with -providerClass and -providerArg. */
class JdkToolsTest {
    private static final String CLASS = "orvane.provider.ORVNativeProvider";

    /**
     * The tool from this JDK with the provider's options; its output, the exit
     * status checked. keytool finds the jar by -providerPath, jarsigner (which
     * lacks it) on its class path.
     */
    private static String tool(String name, String... args) throws Exception {
        ProviderToken token = ProviderToken.get();
        Path config = token.dir.resolve("tools.cfg");
        Files.write(config, token.config.substring(2).getBytes(StandardCharsets.UTF_8));
        List<String> command = new ArrayList<>(List.of(
                Path.of(System.getProperty("java.home"), "bin", name).toString(),
                "-J-Djava.library.path=" + requiredEnv("ORV_LIBRARY_DIR"),
                name.equals("keytool") ? "-providerPath" : "-J-cp",
                (name.equals("keytool") ? "" : "-J") + requiredEnv("ORV_JAR"),
                "-providerClass", CLASS, "-providerArg", config.toString()));
        command.addAll(Arrays.asList(args));
        Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
        String output;
        try (InputStream in = process.getInputStream()) {
            output = new String(in.readAllBytes(), StandardCharsets.UTF_8);
        }
        assertTrue(process.waitFor(60, TimeUnit.SECONDS), name + " hung");
        assertEquals(0, process.exitValue(), name + " failed:\n" + output);
        return output;
    }

    @ParameterizedTest
    @ValueSource(strings = {ProviderToken.RSA, ProviderToken.EC})
    void keytoolListsAndJarsignerSigns(String alias) throws Exception {
        ProviderToken token = ProviderToken.get();
        String list = tool("keytool", "-list", "-keystore", "NONE", "-storetype", "PKCS11", "-storepass",
                ProviderToken.PIN);
        for (String entry : List.of("orv-rsa, PrivateKeyEntry,", "orv-ec, PrivateKeyEntry,",
                "orv-leaf, PrivateKeyEntry,", "orv-ca, trustedCertEntry,")) {
            assertTrue(list.contains(entry), entry + " missing from:\n" + list);
        }
        Path jar = token.dir.resolve(alias + ".jar");
        try (OutputStream file = Files.newOutputStream(jar); JarOutputStream out = new JarOutputStream(file)) {
            out.putNextEntry(new JarEntry("hello.txt"));
            out.write("signed on a token".getBytes(StandardCharsets.UTF_8));
        }
        String signed = tool("jarsigner", "-keystore", "NONE", "-storetype", "PKCS11", "-storepass",
                ProviderToken.PIN, jar.toString(), alias);
        assertTrue(signed.contains("jar signed."), signed);
        String verified = tool("jarsigner", "-verify", jar.toString());
        assertTrue(verified.contains("jar verified."), verified);
        assertEquals(token.certificate(alias), signerOf(jar));
    }

    private static Object signerOf(Path jar) throws IOException {
        try (JarFile file = new JarFile(jar.toFile(), true)) {
            JarEntry entry = file.getJarEntry("hello.txt");
            try (InputStream in = file.getInputStream(entry)) {
                in.readAllBytes(); // signers are known once the entry is read
            }
            CodeSigner[] signers = entry.getCodeSigners();
            assertEquals(1, signers.length);
            return signers[0].getSignerCertPath().getCertificates().get(0);
        }
    }
}
