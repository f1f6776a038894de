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
import java.util.Arrays;

import javax.crypto.Cipher;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.CapiToken;
import orvane.testsupport.SoftHsmSetup;

/**
 * Certificates whose key a key storage provider holds (provider type 0): the
 * caller must not be able to tell them from the same key behind a CSP.
 */
class CapiKeyStorageTest extends CapiMaterial {
    private static final byte[] DATA = "signed through a key storage provider".getBytes(StandardCharsets.UTF_8);
    private static final byte[] SESSION_KEY = {
        0x31, 0x41, 0x59, 0x26, 0x53, 0x58, (byte) 0x97, (byte) 0x93, 0x23, (byte) 0x84, 0x62, 0x64, 0x33, (byte) 0x83,
        0x27, (byte) 0x95, 0x02, (byte) 0x88, 0x41, (byte) 0x97, 0x16, (byte) 0x93, (byte) 0x99, 0x37};
    private static final long NTE_BAD_KEYSET = (int) 0x80090016;
    private static final long SCARD_W_CANCELLED_BY_USER = (int) 0x8010006E;

    private static boolean verifies(String algorithm, byte[] signature) throws Exception {
        return SoftHsmSetup.verifies(algorithm, publicKey("ksp"), DATA, signature);
    }

    @Test
    void signaturesAreTheCspPathsAndVerifyAfterReversal() throws Exception {
        String[][] cases = {{"SHA-1", "1", "SHA1withRSA"}, {"MD5", "2", "MD5withRSA"}};
        for (String[] c : cases) {
            byte[] digest = MessageDigest.getInstance(c[0]).digest(DATA);
            byte[] viaKsp = new byte[128];
            byte[] viaCsp = new byte[128];
            assertEquals(0, wrap(digest, Integer.parseInt(c[1]), "ksp", viaKsp, CapiToken.AT_SIGNATURE));
            assertEquals(0, wrap(digest, Integer.parseInt(c[1]), "signer", viaCsp, CapiToken.AT_SIGNATURE));
            assertArrayEquals(viaCsp, viaKsp, c[0]);
            assertTrue(verifies(c[2], reversed(viaKsp)), c[2]);
            assertFalse(verifies(c[2], viaKsp), "little-endian, as CryptSignHashA gives it");
        }
    }

    @Test
    void unwrapsWhatJavasCipherWrappedLikeTheCspPath() throws Exception {
        byte[] wrapped = rsa(Cipher.ENCRYPT_MODE, publicKey("ksp"), SESSION_KEY);
        byte[] viaKsp = token.nativeUnwrapSecretKey(wrapped, der("ksp"), "MY");
        assertArrayEquals(SESSION_KEY, viaKsp);
        assertArrayEquals(token.nativeUnwrapSecretKey(wrapped, der("signer"), "MY"), viaKsp);
    }

    @Test
    void wrapDigestCodesAreTheCspPaths() throws Exception {
        byte[] sha1 = MessageDigest.getInstance("SHA-1").digest(DATA);
        byte[] out = new byte[128];
        // An RSA key lists no DSS signature, which key spec 1 asks for.
        assertEquals(-599, wrap(sha1, 1, "ksp", out, CapiToken.AT_KEYEXCHANGE));
        assertEquals(-593, wrap(sha1, 2, "ksp", out, CapiToken.AT_SIGNATURE));
        assertArrayEquals(new byte[128], out);
        wrongLengthsLeaveTheArray(sha1, "ksp", (byte) 3);
    }

    @Test
    void dsaKeySignsWhatJavaVerifies() throws Exception {
        byte[] sha1 = MessageDigest.getInstance("SHA-1").digest(DATA);
        byte[] signature = new byte[40];
        assertEquals(0, wrap(sha1, 1, "kspdsa", signature, CapiToken.AT_KEYEXCHANGE));
        // CryptSignHashA's order: r, then s, each little-endian.
        byte[] rs = new byte[40];
        System.arraycopy(reversed(Arrays.copyOfRange(signature, 0, 20)), 0, rs, 0, 20);
        System.arraycopy(reversed(Arrays.copyOfRange(signature, 20, 40)), 0, rs, 20, 20);
        assertTrue(SoftHsmSetup.verifies("SHA1withDSAinP1363Format", publicKey("kspdsa"), DATA, rs));
        assertEquals(-601, wrap(MessageDigest.getInstance("MD5").digest(DATA), 2, "kspdsa", signature, 1));
        assertEquals(-599, wrap(sha1, 1, "kspdsa", signature, CapiToken.AT_SIGNATURE));
    }

    @Test
    void missingKeyFailsAsAFailedAcquire() throws Exception {
        byte[] out = new byte[128];
        assertEquals(NTE_BAD_KEYSET, wrap(new byte[20], 1, "kspnokey", out, CapiToken.AT_SIGNATURE));
        assertArrayEquals(new byte[128], out);
        assertFails(KeyStoreException.class,
                "ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().", NTE_BAD_KEYSET,
                () -> token.nativeUnwrapSecretKey(new byte[128], der("kspnokey"), "MY"));
    }

    @Test
    void cancelledPinPromptIsACancellation() throws Exception {
        byte[] sha1 = MessageDigest.getInstance("SHA-1").digest(DATA);
        byte[] out = new byte[128];
        assertEquals(-999, wrap(sha1, 1, "kspcancel", out, CapiToken.AT_SIGNATURE));
        assertArrayEquals(new byte[128], out);
        byte[] wrapped = rsa(Cipher.ENCRYPT_MODE, publicKey("kspcancel"), SESSION_KEY);
        assertFails(InterruptedIOException.class, "ORVcapi::unwrapSessionKey() User cancelled during CryptDecrypt().",
                SCARD_W_CANCELLED_BY_USER, () -> token.nativeUnwrapSecretKey(wrapped, der("kspcancel"), "MY"));
    }
}
