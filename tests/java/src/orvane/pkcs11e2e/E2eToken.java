package orvane.pkcs11e2e;

import static orvane.testsupport.SoftHsmSetup.material;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyFactory;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.spec.PKCS8EncodedKeySpec;
import java.util.ArrayList;
import java.util.List;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Object;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.testsupport.SoftHsmSetup;

/**
 * One SoftHSM2 token per JVM, made and filled from scratch by tools/material.sh
 * so that every byte it holds is known: an RSA-2048 key pair with its
 * self-signed certificate (CKA_ID 01), a second certificate without keys
 * (CKA_ID 02) and a data object without CKA_ID. SoftHSM2 accepts C_Initialize
 * once per process, so the module is loaded here once and every test class
 * shares it.
 */
final class E2eToken {
    static final String LABEL = "orv-e2e";
    static final String SO_PIN = "87654321";
    static final String PIN = "246810";
    static final byte[] DATA_VALUE = "orv e2e data object".getBytes(StandardCharsets.US_ASCII);

    private static E2eToken token;

    final Path dir;
    final int moduleId;
    final int slotIndex;
    final byte[] certificate;
    final byte[] otherCertificate;
    private int nextId = 0x10;

    static synchronized E2eToken get() throws Exception {
        if (token == null) {
            token = new E2eToken();
        }
        return token;
    }

    private E2eToken() throws Exception {
        dir = SoftHsmSetup.freshTokenDirectory();
        material("keypair", dir, "key01");
        material("keypair", dir, "other");
        material("token", dir, LABEL, SO_PIN, PIN, "key01");
        material("store", dir, LABEL, PIN, "02", "other.der");
        Files.write(dir.resolve("orv-e2e-data.bin"), DATA_VALUE);
        material("store", dir, LABEL, PIN, "", "orv-e2e-data.bin");
        certificate = Files.readAllBytes(dir.resolve("key01.der"));
        otherCertificate = Files.readAllBytes(dir.resolve("other.der"));

        moduleId = PKCS11Module.loadLibrary(SoftHsmSetup.MODULE);
        slotIndex = findSlot(moduleId);
        openAndLogin();
    }

    /** The token's slot; SoftHSM2's slot ids are random, its label is not. */
    private static int findSlot(int moduleId) throws PKCS11Exception {
        int slots = PKCS11Module.getNumberOfSlots(moduleId);
        for (int i = 0; i < slots; i++) {
            if (PKCS11Slot.getTokenInfo(moduleId, i).getLabel().trim().equals(LABEL)) {
                return i;
            }
        }
        throw new IllegalStateException("token " + LABEL + " not among " + slots + " slots");
    }

    /** Private keys are visible only to a logged-in user. */
    void openAndLogin() throws PKCS11Exception {
        PKCS11Slot.openSession(moduleId, slotIndex);
        PKCS11Slot.login(moduleId, slotIndex, PIN, PKCS11Slot.CKU_USER);
    }

    /** Closing the only session also logs the user out. */
    void close() throws PKCS11Exception {
        PKCS11Slot.closeSession(moduleId, slotIndex);
    }

    /** A fresh session, for tests that leave the module in an operation. */
    void reopen() throws PKCS11Exception {
        close();
        openAndLogin();
    }

    X509Certificate x509(byte[] encoded) throws Exception {
        return (X509Certificate) CertificateFactory.getInstance("X.509")
                .generateCertificate(new java.io.ByteArrayInputStream(encoded));
    }

    PublicKey publicKey() throws Exception {
        return x509(certificate).getPublicKey();
    }

    PrivateKey privateKey() throws Exception {
        byte[] pkcs8 = Files.readAllBytes(dir.resolve("key01.p8"));
        return KeyFactory.getInstance("RSA").generatePrivate(new PKCS8EncodedKeySpec(pkcs8));
    }

    /**
     * Stores the key pair again under a new CKA_ID with a certificate of its
     * own (the same key, a new subject), for tests that delete what they find.
     */
    synchronized KeySet provisionKeySet() throws Exception {
        String id = String.format("%02x", nextId++);
        material("cert", dir, "key01", "set" + id);
        material("store", dir, LABEL, PIN, id, "set" + id + ".der", "key01.p8", "key01.pub");
        return new KeySet(id, Files.readAllBytes(dir.resolve("set" + id + ".der")));
    }

    /** The CKA_IDs of every object of one class the token shows now. */
    List<String> idsOf(int objectClass) throws PKCS11Exception {
        List<String> ids = new ArrayList<>();
        int n = PKCS11Slot.getNumberOfObjects(moduleId, slotIndex, objectClass);
        for (int i = 0; i < n; i++) {
            PKCS11Object object = PKCS11Slot.getObject(moduleId, slotIndex, objectClass, i);
            ids.add(hex(object.getId()));
        }
        return ids;
    }

    static String hex(byte[] bytes) {
        StringBuilder s = new StringBuilder();
        for (byte b : bytes) {
            s.append(String.format("%02x", b));
        }
        return s.toString();
    }

    /** A key pair and certificate stored under one CKA_ID. */
    static final class KeySet {
        final String id;
        final byte[] certificate;

        KeySet(String id, byte[] certificate) {
            this.id = id;
            this.certificate = certificate;
        }
    }
}
