package orvane.provider;

import java.security.InvalidAlgorithmParameterException;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.SecureRandom;
import java.security.SignatureException;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.PSSParameterSpec;
import java.util.Arrays;

/** EMSA-PSS encoding and verification with MGF1, as RFC 8017 (9.1) gives them. */
final class PSSEncoding {
    private PSSEncoding() {
    }

    static void checkDigests(PSSParameterSpec params) throws InvalidAlgorithmParameterException {
        try {
            MessageDigest.getInstance(params.getDigestAlgorithm());
            MessageDigest.getInstance(((MGF1ParameterSpec) params.getMGFParameters()).getDigestAlgorithm());
        } catch (NoSuchAlgorithmException e) {
            throw new InvalidAlgorithmParameterException("RSASSA-PSS: " + e.getMessage(), e);
        }
        if (params.getSaltLength() < 0) {
            throw new InvalidAlgorithmParameterException("RSASSA-PSS: negative salt length");
        }
    }

    /** EM for the message hash MHASH, EMBITS (the modulus' bits less one) long. */
    static byte[] encode(PSSParameterSpec params, byte[] mHash, int emBits, SecureRandom random)
            throws SignatureException {
        int hLen = mHash.length;
        int sLen = params.getSaltLength();
        int emLen = (emBits + 7) / 8;
        if (emLen < hLen + sLen + 2) {
            throw new SignatureException("RSASSA-PSS: the key is too short for this hash and salt length");
        }
        byte[] salt = new byte[sLen];
        random.nextBytes(salt);
        byte[] h = hashOfPrime(params, mHash, salt);
        byte[] db = new byte[emLen - hLen - 1];
        db[db.length - sLen - 1] = 1;
        System.arraycopy(salt, 0, db, db.length - sLen, sLen);
        mask(params, h, db, emBits);
        byte[] em = new byte[emLen];
        System.arraycopy(db, 0, em, 0, db.length);
        System.arraycopy(h, 0, em, db.length, hLen);
        em[emLen - 1] = (byte) 0xbc;
        return em;
    }

    static boolean verify(PSSParameterSpec params, byte[] mHash, byte[] em, int emBits) throws SignatureException {
        int hLen = mHash.length;
        int sLen = params.getSaltLength();
        int emLen = em.length;
        int unused = 8 * emLen - emBits;
        int topBits = (0xff << (8 - unused)) & 0xff;
        if (emLen < hLen + sLen + 2 || em[emLen - 1] != (byte) 0xbc || (em[0] & topBits) != 0) {
            return false;
        }
        byte[] db = Arrays.copyOfRange(em, 0, emLen - hLen - 1);
        byte[] h = Arrays.copyOfRange(em, emLen - hLen - 1, emLen - 1);
        mask(params, h, db, emBits);
        int padding = emLen - hLen - sLen - 2;
        for (int i = 0; i < padding; i++) {
            if (db[i] != 0) {
                return false;
            }
        }
        if (db[padding] != 1) {
            return false;
        }
        byte[] salt = Arrays.copyOfRange(db, db.length - sLen, db.length);
        return MessageDigest.isEqual(h, hashOfPrime(params, mHash, salt));
    }

    // H = Hash(eight zero bytes || mHash || salt)
    private static byte[] hashOfPrime(PSSParameterSpec params, byte[] mHash, byte[] salt) throws SignatureException {
        MessageDigest digest = digest(params.getDigestAlgorithm());
        digest.update(new byte[8]);
        digest.update(mHash);
        digest.update(salt);
        return digest.digest();
    }

    // DB xor MGF1(H), with the bits above EMBITS cleared.
    private static void mask(PSSParameterSpec params, byte[] h, byte[] db, int emBits) throws SignatureException {
        MessageDigest digest = digest(((MGF1ParameterSpec) params.getMGFParameters()).getDigestAlgorithm());
        int done = 0;
        for (int counter = 0; done < db.length; counter++) {
            digest.update(h);
            digest.update(new byte[] {(byte) (counter >>> 24), (byte) (counter >>> 16), (byte) (counter >>> 8),
                (byte) counter});
            byte[] block = digest.digest();
            for (int i = 0; i < block.length && done < db.length; i++, done++) {
                db[done] ^= block[i];
            }
        }
        int unused = 8 * (db.length + h.length + 1) - emBits;
        db[0] &= (byte) (0xff >>> unused);
    }

    private static MessageDigest digest(String name) throws SignatureException {
        try {
            return MessageDigest.getInstance(name);
        } catch (NoSuchAlgorithmException e) {
            throw new SignatureException("RSASSA-PSS: " + e.getMessage(), e);
        }
    }
}
