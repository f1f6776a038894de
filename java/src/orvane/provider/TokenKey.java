package orvane.provider;

import java.security.PrivateKey;
import java.security.cert.CertificateEncodingException;
import java.security.cert.X509Certificate;
import java.security.interfaces.ECPublicKey;
import java.security.interfaces.RSAPublicKey;
import java.util.Arrays;

/**
 * A private key that stays on its token: it names the module, the slot and the
 * certificate whose CKA_ID the key shares, and holds no secret. Signing and
 * decrypting go through the bridge, which finds the key by that certificate.
 */
public class TokenKey implements PrivateKey {
    private static final long serialVersionUID = 1L;

    private final int moduleId;
    private final int slotIndex;
    private final X509Certificate certificate;

    TokenKey(int moduleId, int slotIndex, X509Certificate certificate) {
        this.moduleId = moduleId;
        this.slotIndex = slotIndex;
        this.certificate = certificate;
    }

    /** The key of CERTIFICATE on that slot, of the class its public key calls for. */
    static TokenKey of(int moduleId, int slotIndex, X509Certificate certificate) {
        if (certificate.getPublicKey() instanceof RSAPublicKey) {
            return new TokenRSAKey(moduleId, slotIndex, certificate);
        }
        if (certificate.getPublicKey() instanceof ECPublicKey) {
            return new TokenECKey(moduleId, slotIndex, certificate);
        }
        return new TokenKey(moduleId, slotIndex, certificate);
    }

    public int getModuleId() {
        return moduleId;
    }

    public int getSlotIndex() {
        return slotIndex;
    }

    public X509Certificate getCertificate() {
        return certificate;
    }

    /** The certificate's DER bytes, as the bridge's natives take them. */
    byte[] certificateBytes() {
        try {
            return certificate.getEncoded();
        } catch (CertificateEncodingException e) {
            throw new IllegalStateException("The certificate of a token key cannot be encoded", e);
        }
    }

    /** "RSA" or "EC", as the certificate's public key says. */
    @Override
    public String getAlgorithm() {
        return certificate.getPublicKey().getAlgorithm();
    }

    /** None: the key never leaves the token. */
    @Override
    public String getFormat() {
        return null;
    }

    @Override
    public byte[] getEncoded() {
        return null;
    }

    @Override
    public boolean equals(Object other) {
        if (!(other instanceof TokenKey)) {
            return false;
        }
        TokenKey key = (TokenKey) other;
        return key.moduleId == moduleId && key.slotIndex == slotIndex
                && Arrays.equals(key.certificateBytes(), certificateBytes());
    }

    @Override
    public int hashCode() {
        return 31 * (31 * moduleId + slotIndex) + certificate.hashCode();
    }

    @Override
    public String toString() {
        return "ORVNative " + getAlgorithm() + " token key (module " + moduleId + ", slot " + slotIndex
                + ", certificate " + certificate.getSubjectX500Principal().getName() + ")";
    }
}
