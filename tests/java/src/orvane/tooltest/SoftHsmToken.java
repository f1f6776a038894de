package orvane.tooltest;

import static orvane.testsupport.SoftHsmSetup.material;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyFactory;
import java.security.PrivateKey;
import java.security.SecureRandom;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.spec.PKCS8EncodedKeySpec;

import orvane.testsupport.SoftHsmSetup;

/**
 * A throwaway SoftHSM2 token in a temp dir holding two RSA key pairs with
 * self-signed certificates (CKA_ID 01 and 02), made by tools/material.sh, so
 * the tests know every byte the token holds.
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
        module = SoftHsmSetup.MODULE;
        dir = Files.createTempDirectory("orv-tooltest");
        conf = dir.resolve("softhsm2.conf");
        pin = randomHex(6);
        for (int i = 0; i < pairs.length; i++) {
            String name = "key0" + (i + 1);
            material("keypair", dir, name);
            pairs[i] = new KeyPairFiles(dir.resolve(name + ".der"), dir.resolve(name + ".p8"));
        }
        material("token", dir, LABEL, randomHex(6), pin, "key01", "key02");
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
        SoftHsmSetup.deleteTree(dir);
    }
}
