package orvane.provider;

import java.io.ByteArrayOutputStream;
import java.security.AlgorithmParameters;
import java.security.GeneralSecurityException;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.Key;
import java.security.KeyFactory;
import java.security.NoSuchAlgorithmException;
import java.security.ProviderException;
import java.security.SecureRandom;
import java.security.interfaces.RSAKey;
import java.security.interfaces.RSAPublicKey;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.InvalidKeySpecException;
import java.security.spec.PKCS8EncodedKeySpec;
import java.security.spec.X509EncodedKeySpec;
import java.util.Arrays;
import javax.crypto.BadPaddingException;
import javax.crypto.Cipher;
import javax.crypto.CipherSpi;
import javax.crypto.IllegalBlockSizeException;
import javax.crypto.NoSuchPaddingException;
import javax.crypto.ShortBufferException;
import javax.crypto.spec.SecretKeySpec;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * RSA/ECB/PKCS1Padding. Decrypting and unwrapping with a token key go through
 * the bridge's decryptData and unwrapKey (CKM_RSA_PKCS); encrypting and
 * wrapping with a public key (the certificate's) go to the JDK's own RSA.
 */
final class TokenRSACipher extends CipherSpi {
    private static final String TRANSFORMATION = "RSA/ECB/PKCS1Padding";

    private final ByteArrayOutputStream input = new ByteArrayOutputStream();
    private TokenRSAKey tokenKey;
    private Cipher publicCipher;
    private int limit;

    @Override
    protected void engineSetMode(String mode) throws NoSuchAlgorithmException {
        if (!"ECB".equalsIgnoreCase(mode)) {
            throw new NoSuchAlgorithmException("ORVNative's RSA cipher has mode ECB only, not " + mode);
        }
    }

    @Override
    protected void engineSetPadding(String padding) throws NoSuchPaddingException {
        if (!"PKCS1Padding".equalsIgnoreCase(padding)) {
            throw new NoSuchPaddingException("ORVNative's RSA cipher has PKCS1Padding only, not " + padding);
        }
    }

    @Override
    protected int engineGetBlockSize() {
        return 0;
    }

    @Override
    protected int engineGetOutputSize(int inputLen) {
        return limit;
    }

    @Override
    protected byte[] engineGetIV() {
        return null;
    }

    @Override
    protected AlgorithmParameters engineGetParameters() {
        return null;
    }

    @Override
    protected void engineInit(int opmode, Key key, SecureRandom random) throws InvalidKeyException {
        input.reset();
        tokenKey = null;
        publicCipher = null;
        if (opmode == Cipher.DECRYPT_MODE || opmode == Cipher.UNWRAP_MODE) {
            if (!(key instanceof TokenRSAKey)) {
                throw new InvalidKeyException("ORVNative decrypts only with its own RSA token keys, not "
                        + (key == null ? "null" : key.getClass().getName()));
            }
            tokenKey = (TokenRSAKey) key;
            limit = tokenKey.length();
        } else if (opmode == Cipher.ENCRYPT_MODE || opmode == Cipher.WRAP_MODE) {
            if (!(key instanceof RSAPublicKey)) {
                throw new InvalidKeyException("ORVNative encrypts with an RSA public key, the certificate's");
            }
            try {
                publicCipher = OtherProviders.cipher(TRANSFORMATION);
            } catch (GeneralSecurityException e) {
                throw new InvalidKeyException(e.getMessage(), e);
            }
            publicCipher.init(opmode, key, random);
            limit = (((RSAPublicKey) key).getModulus().bitLength() + 7) / 8;
        } else {
            throw new InvalidKeyException("Unknown cipher mode " + opmode);
        }
    }

    @Override
    protected void engineInit(int opmode, Key key, AlgorithmParameterSpec params, SecureRandom random)
            throws InvalidKeyException, InvalidAlgorithmParameterException {
        initWithoutParameters(opmode, key, params, random);
    }

    @Override
    protected void engineInit(int opmode, Key key, AlgorithmParameters params, SecureRandom random)
            throws InvalidKeyException, InvalidAlgorithmParameterException {
        initWithoutParameters(opmode, key, params, random);
    }

    private void initWithoutParameters(int opmode, Key key, Object params, SecureRandom random)
            throws InvalidKeyException, InvalidAlgorithmParameterException {
        if (params != null) {
            throw new InvalidAlgorithmParameterException("RSA/ECB/PKCS1Padding takes no parameters");
        }
        engineInit(opmode, key, random);
    }

    @Override
    protected byte[] engineUpdate(byte[] in, int offset, int length) {
        input.write(in, offset, length);
        return new byte[0];
    }

    @Override
    protected int engineUpdate(byte[] in, int offset, int length, byte[] out, int outOffset) {
        input.write(in, offset, length);
        return 0;
    }

    @Override
    protected byte[] engineDoFinal(byte[] in, int offset, int length)
            throws IllegalBlockSizeException, BadPaddingException {
        if (in != null) {
            input.write(in, offset, length);
        }
        byte[] data = input.toByteArray();
        input.reset();
        if (publicCipher != null) {
            return publicCipher.doFinal(data);
        }
        try {
            return PKCS11Slot.decryptData(tokenKey.getModuleId(), tokenKey.getSlotIndex(),
                    tokenKey.certificateBytes(), data, RSASignature.CKM_RSA_PKCS);
        } catch (PKCS11Exception e) {
            throw decryptFailure(e);
        }
    }

    @Override
    protected int engineDoFinal(byte[] in, int offset, int length, byte[] out, int outOffset)
            throws ShortBufferException, IllegalBlockSizeException, BadPaddingException {
        byte[] result = engineDoFinal(in, offset, length);
        try {
            if (out.length - outOffset < result.length) {
                throw new ShortBufferException("The output needs " + result.length + " bytes");
            }
            System.arraycopy(result, 0, out, outOffset, result.length);
            return result.length;
        } finally {
            Arrays.fill(result, (byte) 0);
        }
    }

    @Override
    protected byte[] engineWrap(Key key) throws IllegalBlockSizeException, InvalidKeyException {
        return publicCipher.wrap(key);
    }

    /** The key the token's unwrapKey recovers; its bytes are wiped once the key object holds them. */
    @Override
    protected Key engineUnwrap(byte[] wrappedKey, String algorithm, int type)
            throws InvalidKeyException, NoSuchAlgorithmException {
        byte[] encoded;
        try {
            encoded = PKCS11Slot.unwrapKey(tokenKey.getModuleId(), tokenKey.getSlotIndex(),
                    tokenKey.certificateBytes(), wrappedKey, RSASignature.CKM_RSA_PKCS);
        } catch (PKCS11Exception e) {
            throw new InvalidKeyException("The token cannot unwrap the key: " + e.getMessage(), e);
        }
        try {
            if (type == Cipher.SECRET_KEY) {
                return new SecretKeySpec(encoded, algorithm);
            }
            if (type == Cipher.PRIVATE_KEY) {
                return KeyFactory.getInstance(algorithm).generatePrivate(new PKCS8EncodedKeySpec(encoded));
            }
            if (type == Cipher.PUBLIC_KEY) {
                return KeyFactory.getInstance(algorithm).generatePublic(new X509EncodedKeySpec(encoded));
            }
            throw new InvalidKeyException("Unknown key type " + type);
        } catch (InvalidKeySpecException e) {
            throw new InvalidKeyException("The unwrapped bytes are no " + algorithm + " key", e);
        } finally {
            Arrays.fill(encoded, (byte) 0);
        }
    }

    @Override
    protected int engineGetKeySize(Key key) throws InvalidKeyException {
        if (!(key instanceof RSAKey)) {
            throw new InvalidKeyException("Not an RSA key");
        }
        return ((RSAKey) key).getModulus().bitLength();
    }

    // A refused padding or length is the caller's input; anything else is the token's failure.
    private static ProviderException decryptFailure(PKCS11Exception e)
            throws IllegalBlockSizeException, BadPaddingException {
        String message = String.valueOf(e.getMessage());
        if (message.endsWith("CKR_ENCRYPTED_DATA_LEN_RANGE")) {
            IllegalBlockSizeException length = new IllegalBlockSizeException(message);
            length.initCause(e);
            throw length;
        }
        if (message.endsWith("CKR_ENCRYPTED_DATA_INVALID")) {
            BadPaddingException padding = new BadPaddingException(message);
            padding.initCause(e);
            throw padding;
        }
        return new ProviderException(message, e);
    }
}
