package orvane.tooltest;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyFactory;
import java.security.PrivateKey;
import java.security.SecureRandom;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.spec.PKCS8EncodedKeySpec;
import java.util.Comparator;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * A throwaway SoftHSM2 token in a temp dir holding two RSA key pairs with
 * self-signed certificates (CKA_ID 01 and 02), made by openssl and stored with
 * pkcs11-tool, so the tests know every byte the token holds.
 */
final class SoftHsmToken implements AutoCloseable {
    static final String LABEL = "orv-tooltest";

    final Path dir;
    final Path conf;
    final String module;
    final String pin;
    final KeyPairFiles[] pairs = new KeyPairFiles[2];

    /** The files of one provisioned key pair. */
    static final class KeyPairFiles {
        final Path certDer;
        final Path keyDer;

        KeyPairFiles(Path certDer, Path keyDer) {
            this.certDer = certDer;
            this.keyDer = keyDer;
        }

        X509Certificate certificate() throws Exception {
            return (X509Certificate) CertificateFactory.getInstance("X.509")
                    .generateCertificate(Files.newInputStream(certDer));
        }

        PrivateKey privateKey() throws Exception {
            return KeyFactory.getInstance("RSA").generatePrivate(new PKCS8EncodedKeySpec(Files.readAllBytes(keyDer)));
        }
    }

    SoftHsmToken() throws Exception {
        module = ToolRunner.required("ORV_SOFTHSM_MODULE");
        dir = Files.createTempDirectory("orv-tooltest");
        Path tokens = Files.createDirectory(dir.resolve("tokens"));
        conf = dir.resolve("softhsm2.conf");
        Files.writeString(conf, "directories.tokendir = " + tokens + "\nobjectstore.backend = file\n"
                + "log.level = ERROR\n", StandardCharsets.UTF_8);
        pin = randomHex(6);
        run("softhsm2-util", "--init-token", "--free", "--label", LABEL, "--so-pin", randomHex(6), "--pin", pin);
        for (int i = 0; i < pairs.length; i++) {
            pairs[i] = provision(i + 1);
        }
    }

    private KeyPairFiles provision(int id) throws Exception {
        String n = "0" + id;
        Path keyPem = dir.resolve("key" + n + ".pem");
        Path certPem = dir.resolve("cert" + n + ".pem");
        Path keyDer = dir.resolve("key" + n + ".der");
        Path pubDer = dir.resolve("pub" + n + ".der");
        Path certDer = dir.resolve("cert" + n + ".der");
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", keyPem.toString(),
                "-out", certPem.toString(), "-days", "2", "-subj", "/CN=ORV tool test " + n + "/O=ORVNative tests");
        run("openssl", "pkcs8", "-topk8", "-nocrypt", "-in", keyPem.toString(), "-outform", "DER",
                "-out", keyDer.toString());
        run("openssl", "pkey", "-in", keyPem.toString(), "-pubout", "-outform", "DER", "-out", pubDer.toString());
        run("openssl", "x509", "-in", certPem.toString(), "-outform", "DER", "-out", certDer.toString());
        store(keyDer, "privkey", n);
        store(pubDer, "pubkey", n);
        store(certDer, "cert", n);
        return new KeyPairFiles(certDer, keyDer);
    }

    private void store(Path file, String type, String id) throws Exception {
        run("pkcs11-tool", "--module", module, "--token-label", LABEL, "--login", "--pin", pin,
                "--write-object", file.toString(), "--type", type, "--id", id, "--label", "key" + id);
    }

    private void run(String... command) throws IOException, InterruptedException {
        ProcessBuilder builder = new ProcessBuilder(command).redirectErrorStream(true);
        builder.environment().put("SOFTHSM2_CONF", conf.toString());
        Process process = builder.start();
        byte[] output = process.getInputStream().readAllBytes();
        if (!process.waitFor(60, TimeUnit.SECONDS) || process.exitValue() != 0) {
            throw new IllegalStateException("provisioning step failed: " + command[0] + "\n"
                    + new String(output, StandardCharsets.UTF_8));
        }
    }

    static String randomHex(int bytes) {
        byte[] b = new byte[bytes];
        new SecureRandom().nextBytes(b);
        StringBuilder s = new StringBuilder();
        for (byte x : b) {
            s.append(String.format("%02x", x));
        }
        return s.toString();
    }

    @Override
    public void close() throws IOException {
        try (Stream<Path> files = Files.walk(dir)) {
            files.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
        }
    }
}
