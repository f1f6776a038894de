package orvane.provider;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Object;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * The slot a configured provider works on, found afresh at each key store
 * load (slot indexes shift when a module's slot list is rebuilt), and what its
 * token holds. The slot's one session is shared with every other caller.
 */
final class TokenSlot {
    private static final String ALREADY_LOGGED_IN = "CKR_USER_ALREADY_LOGGED_IN";

    private final TokenConfig config;

    TokenSlot(TokenConfig config) {
        this.config = config;
    }

    String describe() {
        return "library " + config.library
                + (config.tokenLabel != null ? ", token " + config.tokenLabel : ", slot " + config.slotListIndex);
    }

    /** A certificate object: its DER value and CKA_ID. */
    static final class StoredCertificate {
        final byte[] value;
        final byte[] id;

        StoredCertificate(byte[] value, byte[] id) {
            this.value = value;
            this.id = id;
        }
    }

    /** Module id and slot index of the configured token, in a session of its own slot. */
    int[] open() throws PKCS11Exception {
        int moduleId = ModuleIds.of(config.library);
        int slotIndex = slotIndex(moduleId);
        PKCS11Slot.openSession(moduleId, slotIndex);
        return new int[] {moduleId, slotIndex};
    }

    /** Logs the user in; a user already logged in on this token stays so. */
    static void login(int moduleId, int slotIndex, char[] pin) throws PKCS11Exception {
        try {
            PKCS11Slot.login(moduleId, slotIndex, new String(pin), PKCS11Slot.CKU_USER);
        } catch (PKCS11Exception e) {
            if (e.getMessage() == null || !e.getMessage().endsWith(ALREADY_LOGGED_IN)) {
                throw e;
            }
        }
    }

    String tokenLabel(int moduleId, int slotIndex) throws PKCS11Exception {
        return trimEnd(PKCS11Slot.getTokenInfo(moduleId, slotIndex).getLabel());
    }

    /**
     * The X.509 certificates with their CKA_IDs. Both lists come from searches
     * over the same objects, the second narrowed to X.509, so they line up
     * when every certificate is X.509; otherwise no CKA_ID is known.
     */
    static List<StoredCertificate> certificates(int moduleId, int slotIndex) throws PKCS11Exception {
        int count = PKCS11Slot.getNumberOfCertificates(moduleId, slotIndex, PKCS11Slot.CKC_X_509);
        int objects = PKCS11Slot.getNumberOfObjects(moduleId, slotIndex, PKCS11Slot.CKO_CERTIFICATE);
        List<StoredCertificate> certificates = new ArrayList<>();
        for (int i = 0; i < count; i++) {
            byte[] id = objects == count
                    ? PKCS11Slot.getObject(moduleId, slotIndex, PKCS11Slot.CKO_CERTIFICATE, i).getId()
                    : new byte[0];
            certificates.add(new StoredCertificate(
                    PKCS11Slot.getCertificate(moduleId, slotIndex, PKCS11Slot.CKC_X_509, i), id));
        }
        return certificates;
    }

    /** The CKA_IDs of the private keys the session sees (none before a login). */
    static List<byte[]> privateKeyIds(int moduleId, int slotIndex) throws PKCS11Exception {
        int count = PKCS11Slot.getNumberOfObjects(moduleId, slotIndex, PKCS11Slot.CKO_PRIVATE_KEY);
        List<byte[]> ids = new ArrayList<>();
        for (int i = 0; i < count; i++) {
            PKCS11Object key = PKCS11Slot.getObject(moduleId, slotIndex, PKCS11Slot.CKO_PRIVATE_KEY, i);
            ids.add(key.getId());
        }
        return ids;
    }

    static boolean contains(List<byte[]> ids, byte[] id) {
        for (byte[] candidate : ids) {
            if (id.length > 0 && Arrays.equals(candidate, id)) {
                return true;
            }
        }
        return false;
    }

    private int slotIndex(int moduleId) throws PKCS11Exception {
        int slots = PKCS11Module.getNumberOfSlots(moduleId);
        if (config.tokenLabel == null) {
            if (config.slotListIndex >= slots) {
                throw new PKCS11Exception("ORVNativeProvider - slotListIndex " + config.slotListIndex
                        + " is beyond the " + slots + " slots with a token");
            }
            return config.slotListIndex;
        }
        for (int i = 0; i < slots; i++) {
            if (tokenLabel(moduleId, i).equals(config.tokenLabel)) {
                return i;
            }
        }
        throw new PKCS11Exception("ORVNativeProvider - No token labelled \"" + config.tokenLabel + "\" among the "
                + slots + " slots with a token");
    }

    // Labels are padded with blanks to 32 bytes.
    private static String trimEnd(String label) {
        int end = label.length();
        while (end > 0 && label.charAt(end - 1) == ' ') {
            end--;
        }
        return label.substring(0, end);
    }
}
