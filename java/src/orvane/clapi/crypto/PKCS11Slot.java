package orvane.clapi.crypto;

/**
 * Slots of a loaded module, named by (module id, slot index). Each slot keeps
 * at most one session, shared by every caller.
 */
public final class PKCS11Slot {
    public static final int CKU_SO = 0;
    public static final int CKU_USER = 1;
    public static final int CKC_X_509 = 0;
    public static final int CKO_DATA = 0;
    public static final int CKO_CERTIFICATE = 1;
    public static final int CKO_PUBLIC_KEY = 2;
    public static final int CKO_PRIVATE_KEY = 3;
    public static final int CKM_RSA_PKCS = 0x1;
    public static final int CKM_MD5_RSA_PKCS = 0x5;
    public static final int CKM_SHA1_RSA_PKCS = 0x6;
    public static final int CKM_SHA256_RSA_PKCS = 0x40;
    public static final int CKM_MD5 = 0x210;
    public static final int CKM_SHA_1 = 0x220;
    public static final int CKM_SHA256 = 0x250;

    static {
        System.loadLibrary("ORVNative");
    }

    private PKCS11Slot() {
    }

    public static native void openSession(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native void closeSession(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native boolean getSessionOpened(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native void closeAllSessions(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native void login(int moduleId, int slotIndex, String pin, int userType) throws PKCS11Exception;

    public static native void logout(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native void setPIN(int moduleId, int slotIndex, String oldPin, String newPin)
            throws PKCS11Exception;

    public static native boolean tokenPresent(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native PKCS11TokenInfo getTokenInfo(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native int getNumberOfCertificates(int moduleId, int slotIndex, int certificateType)
            throws PKCS11Exception;

    public static native byte[] getCertificate(int moduleId, int slotIndex, int certificateType, int index)
            throws PKCS11Exception;

    public static native boolean deleteCertificate(int moduleId, int slotIndex, int certificateType,
            byte[] certificate, boolean deletePublicKey, boolean deletePrivateKey) throws PKCS11Exception;

    public static native int getNumberOfObjects(int moduleId, int slotIndex, int objectClass)
            throws PKCS11Exception;

    public static native PKCS11Object getObject(int moduleId, int slotIndex, int objectClass, int index)
            throws PKCS11Exception;

    public static native boolean deleteObject(int moduleId, int slotIndex, int handle) throws PKCS11Exception;

    public static native void initToken(int moduleId, int slotIndex, String soPin, String label)
            throws PKCS11Exception;

    public static native void initPIN(int moduleId, int slotIndex, String pin) throws PKCS11Exception;

    public static native void initTokenAndUserPIN(int moduleId, int slotIndex, String soPin, String label,
            String userPin) throws PKCS11Exception;

    public static native void digestInit(int moduleId, int slotIndex, int mechanism) throws PKCS11Exception;

    public static native void digestUpdate(int moduleId, int slotIndex, byte[] data) throws PKCS11Exception;

    public static native byte[] digestFinal(int moduleId, int slotIndex) throws PKCS11Exception;

    public static native void seedRandom(int moduleId, int slotIndex, byte[] seed) throws PKCS11Exception;

    public static native byte[] generateRandom(int moduleId, int slotIndex, int length) throws PKCS11Exception;

    public static native void setCall2ndInit(int moduleId, int slotIndex, boolean call2ndInit)
            throws PKCS11Exception;

    public static native byte[] encryptData(int moduleId, int slotIndex, byte[] certificate, byte[] data,
            int mechanism) throws PKCS11Exception;

    public static native byte[] decryptData(int moduleId, int slotIndex, byte[] certificate, byte[] data,
            int mechanism) throws PKCS11Exception;

    public static native byte[] signData(int moduleId, int slotIndex, byte[] certificate, byte[] data,
            int mechanism) throws PKCS11Exception;

    public static native boolean verifyData(int moduleId, int slotIndex, byte[] certificate, byte[] data,
            byte[] signature, int mechanism) throws PKCS11Exception;

    public static native byte[] unwrapKey(int moduleId, int slotIndex, byte[] certificate, byte[] wrappedKey,
            int mechanism) throws PKCS11Exception;
}
