package orvane.tooltest;

import static orvane.testsupport.SoftHsmSetup.hex;
import static orvane.testsupport.SoftHsmSetup.material;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.SecureRandom;

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
    final String pin;
    final SoftHsmSetup.KeyFiles[] pairs = new SoftHsmSetup.KeyFiles[2];

    SoftHsmToken() throws Exception {
        dir = Files.createTempDirectory("orv-tooltest");
        conf = dir.resolve("softhsm2.conf");
        pin = randomHex(6);
        for (int i = 0; i < pairs.length; i++) {
            material("keypair", dir, "key0" + (i + 1));
            pairs[i] = new SoftHsmSetup.KeyFiles(dir, "key0" + (i + 1));
        }
        material("token", dir, LABEL, randomHex(6), pin, "key01", "key02");
    }

    static String randomHex(int bytes) {
        byte[] b = new byte[bytes];
        new SecureRandom().nextBytes(b);
        return hex(b);
    }

    @Override
    public void close() throws IOException {
        SoftHsmSetup.deleteTree(dir);
    }
}
