package orvane.capitest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.rsa;

import java.io.InterruptedIOException;
import java.nio.charset.StandardCharsets;
import java.security.KeyStoreException;
import java.security.MessageDigest;

import javax.crypto.Cipher;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.CapiToken;
import orvane.testsupport.SoftHsmSetup;

/** Signing a digest and unwrapping a key with a stored certificate's private key, checked by Java's Signature and Cipher. */
class CapiKeyTest extends CapiMaterial {
    private static final byte[] DATA = "signed by the bridge".getBytes(StandardCharsets.UTF_8);
    private static final byte[] SESSION_KEY = {
        (byte) 0xA5, 0x5A, 0x01, 0x23, 0x45, 0x67, (byte) 0x89, (byte) 0xAB, (byte) 0xCD, (byte) 0xEF,
        0x10, 0x32, 0x54, 0x76, (byte) 0x98, (byte) 0xBA};

    private static boolean verifies(String cert, String algorithm, byte[] littleEndian) throws Exception {
        return SoftHsmSetup.verifies(algorithm, publicKey(cert), DATA, reversed(littleEndian));
    }

    @Test
    void signaturesVerifyWithJavaAfterReversal() throws Exception {
        String[][] cases = {{"SHA-1", "1", "SHA1withRSA"}, {"MD5", "2", "MD5withRSA"}};
        for (String cert : new String[] {"signer", "base"}) {
            for (String[] c : cases) {
                byte[] digest = MessageDigest.getInstance(c[0]).digest(DATA);
                byte[] signature = new byte[128];
                assertEquals(0, wrap(digest, Integer.parseInt(c[1]), cert, signature, CapiToken.AT_SIGNATURE));
                assertTrue(verifies(cert, c[2], signature), cert + " " + c[2]);
                // Unreversed, Java must reject it: the check can fail.
                assertFalse(verifies(cert, c[2], reversed(signature)), "byte order");
            }
        }
    }

    @Test
    void wrongOutputLengthLeavesTheArrayAlone() throws Exception {
        wrongLengthsLeaveTheArray(MessageDigest.getInstance("SHA-1").digest(DATA), "signer", (byte) 7);
    }

    @Test
    void wrapDigestCodes() throws Exception {
        byte[] sha1 = new byte[20];
        byte[] md5 = new byte[16];
        byte[] out = new byte[128];
        byte[] signer = der("signer");
        assertEquals(-110, token.nativeWrapDigest(new byte[0], -1, null, null, null, 0));
        assertEquals(-110, token.nativeWrapDigest(null, 1, signer, "MY", out, 2));
        assertEquals(-112, token.nativeWrapDigest(sha1, 1, new byte[0], "MY", out, 2));
        assertEquals(-112, token.nativeWrapDigest(sha1, 1, null, "MY", out, 2));
        assertEquals(-113, token.nativeWrapDigest(sha1, 1, signer, "", out, 2));
        assertEquals(-113, token.nativeWrapDigest(sha1, 1, signer, null, out, 2));
        assertEquals(-111, token.nativeWrapDigest(sha1, -1, signer, "MY", null, 2));
        assertEquals(-114, token.nativeWrapDigest(sha1, 1, signer, "MY", new byte[0], 2));
        assertEquals(-114, token.nativeWrapDigest(sha1, 1, signer, "MY", null, 2));
        assertEquals(-592, wrap(sha1, 3, "signer", out, 2));
        assertEquals(-592, wrap(sha1, 0, "signer", out, 2));
        assertEquals(-593, wrap(sha1, 2, "signer", out, 2));
        assertEquals(-593, wrap(md5, 1, "signer", out, 2));
        assertEquals(-601, wrap(sha1, 1, "signer", out, 0));
        assertEquals(-601, wrap(sha1, 1, "signer", out, -5));
        assertEquals(-590, wrap(sha1, 1, "stranger", out, 2));
        // The RSA provider lists no DSS signature, which key spec 1 needs.
        assertEquals(-599, wrap(sha1, 1, "signer", out, 1));
        assertEquals(-599, wrap(md5, 2, "signer", out, 1));
        // The container holds no key: the provider's refusal counts as cancelled.
        assertEquals(-999, wrap(sha1, 1, "nokey", out, 2));
        assertArrayEquals(new byte[128], out);
    }

    @Test
    void unwrapsAKeyWrappedByJavasCipher() throws Exception {
        byte[] wrapped = rsa(Cipher.ENCRYPT_MODE, publicKey("signer"), SESSION_KEY);
        assertEquals(128, wrapped.length);
        assertArrayEquals(SESSION_KEY, token.nativeUnwrapSecretKey(wrapped, der("signer"), "MY"));
        assertArrayEquals(SESSION_KEY, token.nativeUnwrapSecretKey(wrapped, der("base"), "MY"));
    }

    @Test
    void unwrapFailuresRaiseKeyStoreException() throws Exception {
        byte[] signer = der("signer");
        byte[] wrapped = new byte[128];
        wrapped[5] = 1;
        Class<KeyStoreException> ks = KeyStoreException.class;
        assertFails(ks, "CAPIBridge::convertByteArray() zero sized byte array exception.", -130,
                () -> token.nativeUnwrapSecretKey(new byte[0], signer, "MY"));
        assertFails(ks, "CAPIBridge::convertByteArray() zero sized byte array exception.", -130,
                () -> token.nativeUnwrapSecretKey(null, signer, "MY"));
        assertFails(ks, "CAPIBridge::convertByteArray() zero sized byte array exception.", -131,
                () -> token.nativeUnwrapSecretKey(wrapped, null, "MY"));
        assertFails(ks, "CAPIBridge::convertString() zero sized string exception.", -132,
                () -> token.nativeUnwrapSecretKey(wrapped, signer, ""));
        assertFails(ks, "ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().",
                -512, () -> token.nativeUnwrapSecretKey(wrapped, der("stranger"), "MY"));
        byte[] notForUs = rsa(Cipher.ENCRYPT_MODE, publicKey("stranger"), SESSION_KEY);
        assertFails(ks, "ORVcapi::unwrapSessionKey() A problem occured while calling CryptDecrypt().",
                NTE_BAD_DATA, () -> token.nativeUnwrapSecretKey(notForUs, signer, "MY"));
    }

    @Test
    void refusedKeyRaisesInterruptedIOException() throws Exception {
        assertFails(InterruptedIOException.class, "ORVcapi::getPrivateKey() User cancelled during CryptGetUserKey().",
                NTE_NO_KEY, () -> token.nativeUnwrapSecretKey(new byte[128], der("nokey"), "MY"));
    }

    @Test
    void concurrentSignaturesAllVerify() throws Exception {
        byte[] digest = MessageDigest.getInstance("SHA-1").digest(DATA);
        onFourThreads(10, () -> {
            byte[] signature = new byte[128];
            assertEquals(0, wrap(digest, 1, "signer", signature, 2));
            assertTrue(verifies("signer", "SHA1withRSA", signature));
        });
    }
}
