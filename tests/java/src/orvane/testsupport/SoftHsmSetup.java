package orvane.testsupport;

import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.security.Key;
import java.security.KeyFactory;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.Signature;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.spec.PKCS8EncodedKeySpec;
import java.util.Arrays;
import java.util.Comparator;
import java.util.HexFormat;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

import javax.crypto.Cipher;

import org.junit.jupiter.api.function.Executable;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * What every JVM suite on a SoftHSM2 token of its own starts with: an empty
 * token directory beside the SOFTHSM2_CONF its ctest entry names, and
 * tools/material.sh, which makes the keys and tokens (run-junit.sh names both
 * the script and the module it found).
 */
public final class SoftHsmSetup {
    public static final String MODULE = System.getProperty("orv.softhsm", "");
    public static final String MATERIAL = System.getProperty("orv.material");

    private SoftHsmSetup() {
    }

    /** An RSA key pair tools/material.sh made as NAME.der (certificate) and NAME.p8, seen from Java. */
    public static class KeyFiles {
        public final Path der;
        public final Path p8;
        public final byte[] certificate;
        public final PublicKey publicKey;
        public final PrivateKey privateKey;

        public KeyFiles(Path dir, String name) throws Exception {
            der = dir.resolve(name + ".der");
            p8 = dir.resolve(name + ".p8");
            certificate = Files.readAllBytes(der);
            publicKey = x509(certificate).getPublicKey();
            privateKey = KeyFactory.getInstance("RSA").generatePrivate(new PKCS8EncodedKeySpec(Files.readAllBytes(p8)));
        }

        /** PKCS#1 v1.5 is deterministic, so a token must give exactly these bytes. */
        public byte[] sign(String algorithm, byte[] data) throws Exception {
            Signature signature = Signature.getInstance(algorithm);
            signature.initSign(privateKey);
            signature.update(data);
            return signature.sign();
        }

        public boolean verifies(String algorithm, byte[] data, byte[] signature) throws Exception {
            return SoftHsmSetup.verifies(algorithm, publicKey, data, signature);
        }
    }

    /** Makes a token holding a fresh key pair of the same name (LABEL.der, LABEL.p8); returns the label. */
    public static String keyToken(Path dir, String label, String soPin, String pin) throws Exception {
        material("keypair", dir, label);
        material("token", dir, label, soPin, pin, label);
        return label;
    }

    public static X509Certificate x509(byte[] der) throws Exception {
        return (X509Certificate) CertificateFactory.getInstance("X.509")
                .generateCertificate(new ByteArrayInputStream(der));
    }

    public static boolean verifies(String algorithm, PublicKey key, byte[] data, byte[] signature) throws Exception {
        Signature verifier = Signature.getInstance(algorithm);
        verifier.initVerify(key);
        verifier.update(data);
        return verifier.verify(signature);
    }

    /** RSA with PKCS#1 v1.5 padding, as the natives' CKM_RSA_PKCS and CryptDecrypt expect it. */
    public static byte[] rsa(int mode, Key key, byte[] data) throws Exception {
        Cipher cipher = Cipher.getInstance("RSA/ECB/PKCS1Padding");
        cipher.init(mode, key);
        return cipher.doFinal(data);
    }

    public static String hex(byte[] bytes) {
        return HexFormat.of().formatHex(bytes);
    }

    /** The slot whose token carries the label; SoftHSM2's slot ids are random, its labels are not. */
    public static int slotOf(int moduleId, String label) throws PKCS11Exception {
        int slots = PKCS11Module.getNumberOfSlots(moduleId);
        for (int i = 0; i < slots; i++) {
            if (PKCS11Slot.getTokenInfo(moduleId, i).getLabel().stripTrailing().equals(label)) {
                return i;
            }
        }
        throw new IllegalStateException("no token labelled " + label + " among " + slots + " slots");
    }

    /** The message of the exception of that class the call must raise. */
    public static String messageOf(Class<? extends Throwable> type, Executable call) {
        return assertThrows(type, call).getMessage();
    }

    /** A variable the suite's ctest entry sets. */
    public static String requiredEnv(String name) {
        String value = System.getenv(name);
        if (value == null || value.isEmpty()) {
            throw new IllegalStateException(name + " is not set; run these tests through ctest");
        }
        return value;
    }

    /** Empties the suite's token directory; returns the directory the configuration sits in. */
    public static Path freshTokenDirectory() throws IOException {
        Path dir = Paths.get(requiredEnv("SOFTHSM2_CONF")).toAbsolutePath().getParent();
        deleteTree(dir.resolve("tokens"));
        return dir;
    }

    /** Runs tools/material.sh (its usage says what each command makes); its output. */
    public static String material(Object... args) throws IOException, InterruptedException {
        return run(Stream.concat(Stream.of("sh", MATERIAL), Arrays.stream(args).map(Object::toString))
                .toArray(String[]::new));
    }

    /** Runs a tool to its end; its output, or an IOException carrying it when the tool fails. */
    public static String run(String... command) throws IOException, InterruptedException {
        Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
        byte[] output = process.getInputStream().readAllBytes();
        if (!process.waitFor(120, TimeUnit.SECONDS) || process.exitValue() != 0) {
            throw new IOException(String.join(" ", command) + " failed:\n" + new String(output, StandardCharsets.UTF_8));
        }
        return new String(output, StandardCharsets.UTF_8);
    }

    public static void deleteTree(Path root) throws IOException {
        if (!Files.exists(root)) {
            return;
        }
        try (Stream<Path> paths = Files.walk(root)) {
            for (Path p : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) {
                Files.delete(p);
            }
        }
    }
}
