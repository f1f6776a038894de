package orvane.clapi.crypto;

/** PKCS#11 modules loaded by path and kept under integer module ids. */
public final class PKCS11Module {
    static {
        System.loadLibrary("ORVNative");
    }

    private PKCS11Module() {
    }

    /** Loads and initialises the module; returns its id. */
    public static native int loadLibrary(String path) throws PKCS11Exception;

    /** Slots holding a token as of the last refresh. */
    public static native int getNumberOfSlots(int moduleId) throws PKCS11Exception;

    /** Blocks until a slot event; returns the CK_SLOT_ID (not the index). */
    public static native long waitForSlotEvent(int moduleId) throws PKCS11Exception;

    /** Rebuilds the slot list; slot indexes may shift. */
    public static native void refresh(int moduleId) throws PKCS11Exception;
}
