package orvane.common.utils;

/** Read-only access to the Windows registry through ORVNative. */
public final class WindowsRegistry {
    public static final int HKEY_CLASSES_ROOT = 1;
    public static final int HKEY_CURRENT_USER = 2;
    public static final int HKEY_LOCAL_MACHINE = 3;
    public static final int HKEY_USERS = 4;
    public static final int HKEY_DYN_DATA = 5;

    static {
        System.loadLibrary("ORVNative");
    }

    private WindowsRegistry() {
    }

    /** Name of the index-th sub-key of keyId\path; EOFException past the last one. */
    public static native String getRegistryKeyName(int keyId, String path, int index)
            throws java.io.IOException;

    /** Name of the index-th value of keyId\path; EOFException past the last one. */
    public static native String getRegistryValueName(int keyId, String path, int index)
            throws java.io.IOException;

    /** Data of the named value as text, up to its first zero byte. */
    public static native String getRegistryValueString(int keyId, String path, String valueName)
            throws java.io.IOException;
}
