package orvane.pkcs11e2e;

import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.hex;
import static orvane.testsupport.SoftHsmSetup.material;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.function.Executable;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
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

    private static E2eToken token;

    final Path dir;
    final int moduleId;
    final int slotIndex;
    final SoftHsmSetup.KeyFiles key;
    final byte[] certificate;
    final byte[] otherCertificate;
    private int nextId = 0x10;

    /** What every test class starts from: the token, logged in. */
    abstract static class LoggedIn {
        E2eToken token;
        int module;
        int slot;

        @BeforeEach
        void loggedIn() throws Exception {
            token = get();
            module = token.moduleId;
            slot = token.slotIndex;
            token.openAndLogin();
        }

        static String failure(Executable call) {
            return assertThrows(PKCS11Exception.class, call).getMessage();
        }
    }

    static synchronized E2eToken get() throws Exception {
        return token != null ? token : (token = new E2eToken());
    }

    private E2eToken() throws Exception {
        dir = SoftHsmSetup.freshTokenDirectory();
        material("keypair", dir, "key01");
        material("keypair", dir, "other");
        material("token", dir, LABEL, SO_PIN, PIN, "key01");
        material("store", dir, LABEL, PIN, "02", "other.der");
        Files.write(dir.resolve("orv-e2e-data.bin"), "orv e2e data object".getBytes(StandardCharsets.US_ASCII));
        material("store", dir, LABEL, PIN, "", "orv-e2e-data.bin");
        key = new SoftHsmSetup.KeyFiles(dir, "key01");
        certificate = key.certificate;
        otherCertificate = Files.readAllBytes(dir.resolve("other.der"));
        moduleId = PKCS11Module.loadLibrary(SoftHsmSetup.MODULE);
        slotIndex = SoftHsmSetup.slotOf(moduleId, LABEL);
        openAndLogin();
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
            ids.add(hex(PKCS11Slot.getObject(moduleId, slotIndex, objectClass, i).getId()));
        }
        return ids;
    }

    int handleOf(int objectClass, String id) throws PKCS11Exception {
        int i = idsOf(objectClass).indexOf(id);
        assertTrue(i >= 0, "no object of class " + objectClass + " with id " + id);
        return PKCS11Slot.getObject(moduleId, slotIndex, objectClass, i).getHandle();
    }

    /** A key pair and certificate stored under one CKA_ID. */
    record KeySet(String id, byte[] certificate) {
    }
}
