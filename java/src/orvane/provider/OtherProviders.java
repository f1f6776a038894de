package orvane.provider;

import java.security.AlgorithmParameters;
import java.security.GeneralSecurityException;
import java.security.NoSuchAlgorithmException;
import java.security.Provider;
import java.security.Security;
import java.security.Signature;
import java.security.SignatureException;
import javax.crypto.Cipher;

/**
 * The JDK's engines for the public-key half (verifying, encrypting), found
 * among the installed providers other than this one's instances, so that a
 * call never comes back here.
 */
final class OtherProviders {
    private OtherProviders() {
    }

    static Signature signature(String algorithm) throws SignatureException {
        for (Provider provider : Security.getProviders()) {
            if (!(provider instanceof ORVNativeProvider) && provider.getService("Signature", algorithm) != null) {
                try {
                    return Signature.getInstance(algorithm, provider);
                } catch (NoSuchAlgorithmException e) {
                    // the next provider may have it
                }
            }
        }
        throw new SignatureException("No installed provider besides ORVNative offers " + algorithm);
    }

    static Cipher cipher(String transformation) throws GeneralSecurityException {
        GeneralSecurityException last = null;
        for (Provider provider : Security.getProviders()) {
            if (!(provider instanceof ORVNativeProvider)) {
                try {
                    return Cipher.getInstance(transformation, provider);
                } catch (GeneralSecurityException e) {
                    last = e;
                }
            }
        }
        throw new NoSuchAlgorithmException("No installed provider besides ORVNative offers " + transformation, last);
    }

    static AlgorithmParameters parameters(String algorithm) throws NoSuchAlgorithmException {
        for (Provider provider : Security.getProviders()) {
            if (!(provider instanceof ORVNativeProvider)
                    && provider.getService("AlgorithmParameters", algorithm) != null) {
                return AlgorithmParameters.getInstance(algorithm, provider);
            }
        }
        throw new NoSuchAlgorithmException("No installed provider besides ORVNative offers " + algorithm);
    }
}
