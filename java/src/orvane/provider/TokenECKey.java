package orvane.provider;

import java.security.cert.X509Certificate;
import java.security.interfaces.ECKey;
import java.security.interfaces.ECPublicKey;
import java.security.spec.ECParameterSpec;

/** An EC token key; its curve, from the certificate, is what JSSE matches signature schemes by. */
public final class TokenECKey extends TokenKey implements ECKey {
    private static final long serialVersionUID = 1L;

    TokenECKey(int moduleId, int slotIndex, X509Certificate certificate) {
        super(moduleId, slotIndex, certificate);
    }

    @Override
    public ECParameterSpec getParams() {
        return ((ECPublicKey) getCertificate().getPublicKey()).getParams();
    }
}
