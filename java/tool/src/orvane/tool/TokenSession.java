package orvane.tool;

import java.util.Arrays;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.clapi.crypto.PKCS11TokenInfo;

/** One slot of a loaded module with its session open; closing it logs out and closes the session. */
final class TokenSession implements AutoCloseable {
    private final int moduleId;
    private final int slotIndex;
    private boolean loggedIn;

    private TokenSession(int moduleId, int slotIndex) {
        this.moduleId = moduleId;
        this.slotIndex = slotIndex;
    }

    static TokenSession open(int moduleId, int slotIndex) throws PKCS11Exception {
        PKCS11Slot.openSession(moduleId, slotIndex);
        return new TokenSession(moduleId, slotIndex);
    }

    int moduleId() {
        return moduleId;
    }

    int slotIndex() {
        return slotIndex;
    }

    String label() throws PKCS11Exception {
        PKCS11TokenInfo info = PKCS11Slot.getTokenInfo(moduleId, slotIndex);
        return info.getLabel().trim();
    }

    /** Logs the user in and wipes the PIN, whatever happens. */
    void login(PinSource source) throws PKCS11Exception, ToolException {
        char[] pin = source.read(source.fromConsole() ? label() : null);
        try {
            // The native takes a String; only the char[] copy can be wiped.
            PKCS11Slot.login(moduleId, slotIndex, new String(pin), PKCS11Slot.CKU_USER);
            loggedIn = true;
        } finally {
            Arrays.fill(pin, '\0');
        }
    }

    @Override
    public void close() throws PKCS11Exception {
        try {
            if (loggedIn) {
                PKCS11Slot.logout(moduleId, slotIndex);
            }
        } finally {
            PKCS11Slot.closeSession(moduleId, slotIndex);
        }
    }
}
