package orvane.pkcs11stress;

import java.nio.file.Path;

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
    static final class Token extends SoftHsmSetup.KeyFiles {
        final String label;
        int slotIndex = -1;

        Token(Path dir, String label) throws Exception {
            super(dir, SoftHsmSetup.keyToken(dir, label, SO_PIN, PIN));
            this.label = label;
        }
    }

    static synchronized StressTokens get() throws Exception {
        return tokens != null ? tokens : (tokens = new StressTokens());
    }

    private StressTokens() throws Exception {
        Path dir = SoftHsmSetup.freshTokenDirectory();
        a = new Token(dir, "orv-stress-a");
        b = new Token(dir, "orv-stress-b");
        moduleId = PKCS11Module.loadLibrary(SoftHsmSetup.MODULE);
        for (Token token : new Token[] {a, b}) {
            token.slotIndex = SoftHsmSetup.slotOf(moduleId, token.label);
            openAndLogin(token);
        }
    }

    /** Sessions of a refreshed slot are forgotten; signing needs one, logged in. */
    void openAndLogin(Token token) throws PKCS11Exception {
        PKCS11Slot.openSession(moduleId, token.slotIndex);
        PKCS11Slot.login(moduleId, token.slotIndex, PIN, PKCS11Slot.CKU_USER);
    }
}
