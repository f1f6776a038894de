package orvane.provider;

import java.math.BigInteger;
import java.security.cert.X509Certificate;
import java.security.interfaces.RSAKey;
import java.security.interfaces.RSAPublicKey;

/** An RSA token key; its modulus, from the certificate, is what JSSE sizes the key by. */
public final class TokenRSAKey extends TokenKey implements RSAKey {
    private static final long serialVersionUID = 1L;

    TokenRSAKey(int moduleId, int slotIndex, X509Certificate certificate) {
        super(moduleId, slotIndex, certificate);
    }

    @Override
    public BigInteger getModulus() {
        return publicKey().getModulus();
    }

    RSAPublicKey publicKey() {
        return (RSAPublicKey) getCertificate().getPublicKey();
    }

    /** The modulus length in bytes: the length of every signature and cipher text. */
    int length() {
        return (getModulus().bitLength() + 7) / 8;
    }
}
