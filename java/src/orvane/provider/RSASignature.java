package orvane.provider;

import java.math.BigInteger;
import java.security.InvalidKeyException;
import java.security.MessageDigest;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.SignatureException;
import java.security.interfaces.RSAPublicKey;
import java.util.Arrays;

/**
 * NONEwithRSA and SHA-1/224/256/384/512 with RSA, PKCS#1 v1.5: the DigestInfo
 * is built here and signed with CKM_RSA_PKCS, so every hash works on a token
 * that lacks the combined mechanisms.
 */
final class RSASignature extends TokenSignature {
    static final int CKM_RSA_PKCS = 0x1;

    RSASignature(String digestName) {
        super(digestName);
    }

    @Override
    TokenKey acceptSigningKey(PrivateKey key) throws InvalidKeyException {
        return tokenRSAKey(key);
    }

    @Override
    PublicKey acceptVerifyingKey(PublicKey key) throws InvalidKeyException {
        return rsaPublicKey(key, "An RSA signature");
    }

    /** KEY if it is a token's RSA key; otherwise InvalidKeyException. */
    static TokenKey tokenRSAKey(PrivateKey key) throws InvalidKeyException {
        if (!(key instanceof TokenRSAKey)) {
            throw notOurs(key, "RSA");
        }
        return (TokenKey) key;
    }

    /** KEY if it is an RSA public key; otherwise InvalidKeyException naming WHAT it was to verify. */
    static PublicKey rsaPublicKey(PublicKey key, String what) throws InvalidKeyException {
        if (!(key instanceof RSAPublicKey)) {
            throw new InvalidKeyException(what + " is verified with an RSAPublicKey");
        }
        return key;
    }

    @Override
    int rawLimit(int keyBytes) {
        return keyBytes - 11;
    }

    @Override
    byte[] sign(TokenKey key, byte[] input) throws SignatureException {
        return signOnToken(key, encode(input), CKM_RSA_PKCS);
    }

    @Override
    boolean verify(PublicKey key, byte[] input, byte[] signature) throws SignatureException {
        RSAPublicKey rsa = (RSAPublicKey) key;
        byte[] recovered = publicOperation(rsa, signature);
        if (recovered == null) {
            return false;
        }
        byte[] data = encode(input);
        int k = recovered.length;
        if (data.length > k - 11) {
            return false;
        }
        byte[] expected = new byte[k];
        expected[1] = 1;
        Arrays.fill(expected, 2, k - data.length - 1, (byte) 0xff);
        System.arraycopy(data, 0, expected, k - data.length, data.length);
        return MessageDigest.isEqual(expected, recovered);
    }

    private byte[] encode(byte[] input) throws SignatureException {
        return digestName() == null ? input : DigestInfos.encode(digestName(), input);
    }

    /** SIGNATURE raised to the public exponent, modulus-long; null for a signature of the wrong size. */
    static byte[] publicOperation(RSAPublicKey key, byte[] signature) {
        BigInteger n = key.getModulus();
        int k = (n.bitLength() + 7) / 8;
        BigInteger s = new BigInteger(1, signature);
        if (signature.length != k || s.compareTo(n) >= 0) {
            return null;
        }
        return unsigned(s.modPow(key.getPublicExponent(), n), k);
    }

    /** VALUE as exactly LENGTH big-endian bytes. */
    static byte[] unsigned(BigInteger value, int length) {
        byte[] bytes = value.toByteArray();
        if (bytes.length == length) {
            return bytes;
        }
        byte[] out = new byte[length];
        int copied = Math.min(bytes.length, length);
        System.arraycopy(bytes, bytes.length - copied, out, length - copied, copied);
        return out;
    }
}
