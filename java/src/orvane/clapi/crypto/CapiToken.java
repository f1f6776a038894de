package orvane.clapi.crypto;

import java.nio.ByteBuffer;
import java.util.LinkedList;

/**
 * The Windows CryptoAPI as ORVNative offers it. The methods returning long
 * return 0 on success, -70 to -999 for the library's own failures, and any
 * other value as the Windows error code of the failing call.
 */
public class CapiToken {
    public static final int HASH_SHA1 = 1;
    public static final int HASH_MD5 = 2;
    public static final int AT_KEYEXCHANGE = 1;
    public static final int AT_SIGNATURE = 2;

    static {
        System.loadLibrary("ORVNative");
    }

    public native long nativeIsCspAvailable(String providerName, String providerType, boolean[] available);

    public native long nativeIsCertificateInStore(byte[] certificate, String storeName, boolean[] found);

    /**
     * Signs a SHA-1 (HASH_SHA1, 20 bytes) or MD5 (HASH_MD5, 16 bytes) digest, no other, with the key of a
     * certificate in a system store, into a signature array of exactly the signature's length. The signature
     * is little-endian, as CryptSignHashA writes it: reverse it for java.security.Signature (docs/java-api.md).
     */
    public native long nativeWrapDigest(byte[] digest, int hashType, byte[] certificate, String storeName,
            byte[] signature, int keySpec);

    public native long nativeGetCertificates(String storeName, LinkedList<byte[]> certificates);

    public native byte[] nativeUnwrapSecretKey(byte[] wrappedKey, byte[] certificate, String storeName)
            throws java.io.IOException, java.security.KeyStoreException;

    public native void nativeGenerateSeed(ByteBuffer buffer) throws java.io.IOException;
}
