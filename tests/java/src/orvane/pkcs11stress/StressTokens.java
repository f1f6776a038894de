package orvane.pkcs11stress;

import static orvane.testsupport.SoftHsmSetup.material;

import java.io.ByteArrayInputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyFactory;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.Signature;
import java.security.cert.CertificateFactory;
import java.security.spec.PKCS8EncodedKeySpec;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.testsupport.SoftHsmSetup;

/**
 * Two SoftHSM2 tokens in one module instance, each holding an RSA-2048 key pair
 * and its certificate made by tools/material.sh, so every signature can be checked
 * against java.security. SoftHSM2 initialises once per process: the module is
 * loaded here once for every test class.
 */
final class StressTokens {
    static final String SO_PIN = "10203040";
    static final String PIN = "5060";

    private static StressTokens tokens;

    final int moduleId;
    final Token a;
    final Token b;

    /** One token: its label, where the bridge sees it, and its keys on the Java side. */
    static final class Token {
        final String label;
        final byte[] certificate;
        final PrivateKey privateKey;
        final PublicKey publicKey;
        int slotIndex = -1;

        Token(String label, byte[] certificate, PrivateKey privateKey) throws Exception {
            this.label = label;
            this.certificate = certificate;
            this.privateKey = privateKey;
            this.publicKey = CertificateFactory.getInstance("X.509")
                    .generateCertificate(new ByteArrayInputStream(certificate)).getPublicKey();
        }

        /** PKCS#1 v1.5 is deterministic, so the token must give exactly Java's bytes. */
        byte[] javaSignature(String algorithm, byte[] data) throws Exception {
            Signature signature = Signature.getInstance(algorithm);
            signature.initSign(privateKey);
            signature.update(data);
            return signature.sign();
        }
    }

    static synchronized StressTokens get() throws Exception {
        if (tokens == null) {
            tokens = new StressTokens();
        }
        return tokens;
    }

    private StressTokens() throws Exception {
        Path dir = SoftHsmSetup.freshTokenDirectory();
        a = provision(dir, "orv-stress-a");
        b = provision(dir, "orv-stress-b");
        moduleId = PKCS11Module.loadLibrary(SoftHsmSetup.MODULE);
        a.slotIndex = slotOf(a.label);
        b.slotIndex = slotOf(b.label);
        openAndLogin(a);
        openAndLogin(b);
    }

    /** Sessions of a refreshed slot are forgotten; signing needs one, logged in. */
    void openAndLogin(Token token) throws PKCS11Exception {
        PKCS11Slot.openSession(moduleId, token.slotIndex);
        PKCS11Slot.login(moduleId, token.slotIndex, PIN, PKCS11Slot.CKU_USER);
    }

    private int slotOf(String label) throws PKCS11Exception {
        int slots = PKCS11Module.getNumberOfSlots(moduleId);
        for (int i = 0; i < slots; i++) {
            if (PKCS11Slot.getTokenInfo(moduleId, i).getLabel().trim().equals(label)) {
                return i;
            }
        }
        throw new IllegalStateException("token " + label + " not among " + slots + " slots");
    }

    private static Token provision(Path dir, String label) throws Exception {
        material("keypair", dir, label);
        material("token", dir, label, SO_PIN, PIN, label);
        PrivateKey privateKey = KeyFactory.getInstance("RSA")
                .generatePrivate(new PKCS8EncodedKeySpec(Files.readAllBytes(dir.resolve(label + ".p8"))));
        return new Token(label, Files.readAllBytes(dir.resolve(label + ".der")), privateKey);
    }
}
