package orvane.bench;

import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Calls getSessionOpened and generateRandom(1) a given number of times on slot index 0 of a module, for the
 * instruction counts of callgrind.sh. Arguments: MODULE COUNT.
 */
public final class CallLoop {
    private CallLoop() {
    }

    public static void main(String[] args) throws Exception {
        int module = PKCS11Module.loadLibrary(args[0]);
        int count = Integer.parseInt(args[1]);
        PKCS11Slot.openSession(module, 0);
        int opened = 0;
        int bytes = 0;
        for (int i = 0; i < count; i++) {
            opened += PKCS11Slot.getSessionOpened(module, 0) ? 1 : 0;
            bytes += PKCS11Slot.generateRandom(module, 0, 1).length;
        }
        if (opened != count || bytes != count) {
            throw new IllegalStateException("unexpected results: " + opened + " sessions, " + bytes + " bytes");
        }
    }
}
