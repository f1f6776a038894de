package orvane.pkcs11test;

/** Control functions of the fault-injecting mock module, on the instance the bridge loaded. */
public final class MockControl {
    static final long SLOT_A = 2;
    static final long SLOT_C = 9;
    static final long SLOT_D = 11;

    static {
        System.loadLibrary("orvmockjni");
    }

    private MockControl() {
    }

    public static native void open(String path);

    public static native void reset();

    static native void setInitialized(boolean on);

    static native int setTokenPresent(long slotId, boolean present);

    static native int setTokenLabel(long slotId, byte[] label);

    static native void queueSlotEvent(long slotId);

    static native long waitingCount();

    static native int fail(String function, long rv, long nth);

    /** Modules loaded from now on get a function list with these entries (blank-separated) empty. */
    static native int setEmptyEntries(String names);

    static native void clearFaults();

    static native long callCount(String function);

    public static native String log();

    public static native void logClear();

    static native void logEnable(boolean on);

    /** Refuse and count any call that finds another thread inside the module. */
    static native void setSingleThreaded(boolean on);

    static native long overlapCount();

    static native void setNextSessionHandle(long handle);

    static native int loginState(long slotId);

    static native int setTokenFlags(long slotId, long flags);
}
