package orvane.provider;

import java.security.AlgorithmParameters;
import java.security.GeneralSecurityException;
import java.security.InvalidAlgorithmParameterException;
import java.security.InvalidKeyException;
import java.security.PrivateKey;
import java.security.ProviderException;
import java.security.PublicKey;
import java.security.SecureRandom;
import java.security.SignatureException;
import java.security.interfaces.RSAKey;
import java.security.interfaces.RSAPublicKey;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.PSSParameterSpec;

/**
 * RSASSA-PSS: the EMSA-PSS encoding is made here and signed with raw RSA
 * (CKM_RSA_X_509), so a token with raw RSA serves TLS 1.3 with an RSA key.
 * The parameters must be set first, as for the JDK's own RSASSA-PSS.
 */
final class PSSSignature extends TokenSignature {
    static final int CKM_RSA_X_509 = 0x3;

    private PSSParameterSpec params;
    private SecureRandom random;

    PSSSignature() {
        super(null);
    }

    @Override
    protected void engineSetParameter(AlgorithmParameterSpec spec) throws InvalidAlgorithmParameterException {
        if (started()) {
            throw new ProviderException("RSASSA-PSS parameters cannot change while data is being signed");
        }
        if (!(spec instanceof PSSParameterSpec)) {
            throw new InvalidAlgorithmParameterException("RSASSA-PSS takes a PSSParameterSpec");
        }
        PSSParameterSpec pss = (PSSParameterSpec) spec;
        if (!"MGF1".equalsIgnoreCase(pss.getMGFAlgorithm())
                || !(pss.getMGFParameters() instanceof MGF1ParameterSpec)) {
            throw new InvalidAlgorithmParameterException("RSASSA-PSS here takes MGF1 only");
        }
        if (pss.getTrailerField() != 1) {
            throw new InvalidAlgorithmParameterException("RSASSA-PSS takes trailer field 1 only");
        }
        PSSEncoding.checkDigests(pss);
        params = pss;
        useDigest(pss.getDigestAlgorithm());
    }

    @Override
    protected AlgorithmParameters engineGetParameters() {
        if (params == null) {
            return null;
        }
        try {
            AlgorithmParameters parameters = OtherProviders.parameters("RSASSA-PSS");
            parameters.init(params);
            return parameters;
        } catch (GeneralSecurityException e) {
            return null;
        }
    }

    @Override
    protected void engineInitSign(PrivateKey key, SecureRandom random) throws InvalidKeyException {
        this.random = random;
        engineInitSign(key);
    }

    @Override
    TokenKey acceptSigningKey(PrivateKey key) throws InvalidKeyException {
        return RSASignature.tokenRSAKey(key);
    }

    @Override
    PublicKey acceptVerifyingKey(PublicKey key) throws InvalidKeyException {
        return RSASignature.rsaPublicKey(key, "An RSASSA-PSS signature");
    }

    @Override
    protected void engineUpdate(byte[] b, int off, int len) throws SignatureException {
        requireParams();
        super.engineUpdate(b, off, len);
    }

    @Override
    int rawLimit(int keyBytes) {
        return 0;
    }

    @Override
    byte[] sign(TokenKey key, byte[] hash) throws SignatureException {
        int bits = ((RSAKey) key).getModulus().bitLength();
        byte[] encoded = PSSEncoding.encode(requireParams(), hash, bits - 1, random());
        byte[] block = new byte[(bits + 7) / 8];
        System.arraycopy(encoded, 0, block, block.length - encoded.length, encoded.length);
        return signOnToken(key, block, CKM_RSA_X_509);
    }

    @Override
    boolean verify(PublicKey key, byte[] hash, byte[] signature) throws SignatureException {
        RSAPublicKey rsa = (RSAPublicKey) key;
        byte[] block = RSASignature.publicOperation(rsa, signature);
        if (block == null) {
            return false;
        }
        int emBits = rsa.getModulus().bitLength() - 1;
        int emLength = (emBits + 7) / 8;
        if (block.length > emLength && block[0] != 0) {
            return false;
        }
        byte[] encoded = new byte[emLength];
        System.arraycopy(block, block.length - emLength, encoded, 0, emLength);
        return PSSEncoding.verify(requireParams(), hash, encoded, emBits);
    }

    private PSSParameterSpec requireParams() throws SignatureException {
        if (params == null) {
            throw new SignatureException("RSASSA-PSS needs its PSSParameterSpec set before signing or verifying");
        }
        return params;
    }

    private SecureRandom random() {
        if (random == null) {
            random = new SecureRandom();
        }
        return random;
    }
}
