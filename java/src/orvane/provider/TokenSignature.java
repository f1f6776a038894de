package orvane.provider;

import java.io.ByteArrayOutputStream;
import java.security.InvalidKeyException;
import java.security.InvalidParameterException;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.PrivateKey;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.SignatureException;
import java.security.SignatureSpi;
import java.security.interfaces.RSAKey;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * What every signature engine shares: the data is hashed in Java (or, for the
 * NONE forms, kept as it is), the token signs what the algorithm makes of the
 * hash, and verification is done in Java with the public key.
 */
abstract class TokenSignature extends SignatureSpi {
    private String digestName;
    private MessageDigest digest;
    private final ByteArrayOutputStream raw = new ByteArrayOutputStream();
    private TokenKey signingKey;
    private PublicKey verifyingKey;
    private boolean started;

    /** DIGEST names the hash ("SHA-256"); null keeps the data unhashed. */
    TokenSignature(String digestName) {
        this.digestName = digestName;
    }

    /** "SHA256" as a MessageDigest names it: "SHA-256". */
    static String digestName(String shortName) {
        return "SHA-" + shortName.substring(3);
    }

    /** The key if this engine signs with it; otherwise InvalidKeyException, so the JCA tries the next provider. */
    abstract TokenKey acceptSigningKey(PrivateKey key) throws InvalidKeyException;

    abstract PublicKey acceptVerifyingKey(PublicKey key) throws InvalidKeyException;

    /** The signature of INPUT, the hash or, for a NONE form, the data. */
    abstract byte[] sign(TokenKey key, byte[] input) throws SignatureException;

    abstract boolean verify(PublicKey key, byte[] input, byte[] signature) throws SignatureException;

    /** The most data a NONE form takes. */
    abstract int rawLimit(int keyBytes);

    @Override
    protected void engineInitSign(PrivateKey key) throws InvalidKeyException {
        signingKey = acceptSigningKey(key);
        verifyingKey = null;
        reset();
    }

    @Override
    protected void engineInitVerify(PublicKey key) throws InvalidKeyException {
        verifyingKey = acceptVerifyingKey(key);
        signingKey = null;
        reset();
    }

    @Override
    protected void engineUpdate(byte b) throws SignatureException {
        engineUpdate(new byte[] {b}, 0, 1);
    }

    @Override
    protected void engineUpdate(byte[] b, int off, int len) throws SignatureException {
        if (signingKey == null && verifyingKey == null) {
            throw new SignatureException("The signature object is not initialised");
        }
        started = true;
        if (digestName != null) {
            digest().update(b, off, len);
            return;
        }
        int limit = rawLimit(keyBytes());
        if (raw.size() + len > limit) {
            throw new SignatureException("The data to sign unhashed is longer than " + limit + " bytes");
        }
        raw.write(b, off, len);
    }

    @Override
    protected byte[] engineSign() throws SignatureException {
        if (signingKey == null) {
            throw new SignatureException("The signature object is not initialised for signing");
        }
        return sign(signingKey, finish());
    }

    @Override
    protected boolean engineVerify(byte[] signature) throws SignatureException {
        if (verifyingKey == null) {
            throw new SignatureException("The signature object is not initialised for verification");
        }
        return verify(verifyingKey, finish(), signature);
    }

    @Override
    @Deprecated
    protected void engineSetParameter(String param, Object value) {
        throw new InvalidParameterException("No parameter " + param);
    }

    @Override
    @Deprecated
    protected Object engineGetParameter(String param) {
        throw new InvalidParameterException("No parameter " + param);
    }

    /** Sets the hash before any data, for engines whose parameters choose it. */
    void useDigest(String name) {
        digestName = name;
        digest = null;
    }

    boolean started() {
        return started;
    }

    String digestName() {
        return digestName;
    }

    /** Signs DATA on the key's token with MECHANISM. */
    static byte[] signOnToken(TokenKey key, byte[] data, int mechanism) throws SignatureException {
        try {
            return PKCS11Slot.signData(key.getModuleId(), key.getSlotIndex(), key.certificateBytes(), data,
                    mechanism);
        } catch (PKCS11Exception e) {
            throw new SignatureException(e.getMessage(), e);
        }
    }

    static InvalidKeyException notOurs(PrivateKey key, String kind) {
        return new InvalidKeyException("ORVNative signs only with its own " + kind + " token keys, not "
                + (key == null ? "null" : key.getClass().getName()));
    }

    private int keyBytes() {
        Object key = signingKey != null ? signingKey : verifyingKey;
        return key instanceof RSAKey ? (((RSAKey) key).getModulus().bitLength() + 7) / 8 : 0;
    }

    private MessageDigest digest() {
        if (digest == null) {
            try {
                digest = MessageDigest.getInstance(digestName);
            } catch (NoSuchAlgorithmException e) {
                throw new ProviderException("The JDK offers no " + digestName, e);
            }
        }
        return digest;
    }

    private byte[] finish() {
        byte[] input = digestName != null ? digest().digest() : raw.toByteArray();
        reset();
        return input;
    }

    private void reset() {
        started = false;
        raw.reset();
        if (digest != null) {
            digest.reset();
        }
    }
}
