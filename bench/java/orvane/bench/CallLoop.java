package orvane.bench;

import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Calls getSessionOpened, generateRandom(1), a SHA-1 digest of 1 KiB (digestInit, digestUpdate, digestFinal)
 * and getTokenInfo a given number of times on slot index 0 of a module, for the instruction counts of callgrind.sh.
 * Arguments: MODULE COUNT.
 */
public final class CallLoop {
    private CallLoop() {
    }

    public static void main(String[] args) throws Exception {
        int module = PKCS11Module.loadLibrary(args[0]);
        int count = Integer.parseInt(args[1]);
        PKCS11Slot.openSession(module, 0);
        byte[] data = new byte[1024];
        int opened = 0;
        int bytes = 0;
        int digested = 0;
        int labelled = 0;
        for (int i = 0; i < count; i++) {
            opened += PKCS11Slot.getSessionOpened(module, 0) ? 1 : 0;
            bytes += PKCS11Slot.generateRandom(module, 0, 1).length;
            PKCS11Slot.digestInit(module, 0, BridgePath.CKM_SHA_1);
            PKCS11Slot.digestUpdate(module, 0, data);
            digested += PKCS11Slot.digestFinal(module, 0).length;
            labelled += PKCS11Slot.getTokenInfo(module, 0).getLabel().length() == 32 ? 1 : 0;
        }
        if (opened != count || bytes != count || digested != 20 * count || labelled != count) {
            throw new IllegalStateException("unexpected results: " + opened + " sessions, " + bytes + " bytes, "
                    + digested + " digest bytes, " + labelled + " labels");
        }
    }
}
