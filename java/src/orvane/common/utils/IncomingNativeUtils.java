package orvane.common.utils;

/** Native helpers the desktop application calls at shutdown. */
public final class IncomingNativeUtils {
    static {
        System.loadLibrary("ORVNative");
    }

    private IncomingNativeUtils() {
    }

    /** Asks the window titled "Access Bridge status" to end its message loop. */
    public static native void jniShutdownNativeAccessibility();
}
