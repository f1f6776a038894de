package orvane.provider;

import java.security.InvalidKeyException;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.Signature;
import java.security.SignatureException;
import java.security.interfaces.ECPublicKey;

/**
 * ECDSA over a hash made here (or, for NONEwithECDSA, the caller's hash),
 * signed with CKM_ECDSA. The token answers r || s; the plain forms give it
 * DER-encoded, the inP1363Format forms as it is. Verification goes to the
 * JDK's NONEwithECDSA over the same hash.
 */
final class ECDSASignature extends TokenSignature {
    static final int CKM_ECDSA = 0x1041;
    // NONEwithECDSA takes at most a SHA-512 hash, as the JDK's does.
    private static final int LONGEST_HASH = 64;

    private final boolean p1363;

    ECDSASignature(String digestName, boolean p1363) {
        super(digestName);
        this.p1363 = p1363;
    }

    @Override
    TokenKey acceptSigningKey(PrivateKey key) throws InvalidKeyException {
        if (!(key instanceof TokenECKey)) {
            throw notOurs(key, "EC");
        }
        return (TokenKey) key;
    }

    @Override
    PublicKey acceptVerifyingKey(PublicKey key) throws InvalidKeyException {
        if (!(key instanceof ECPublicKey)) {
            throw new InvalidKeyException("An ECDSA signature is verified with an ECPublicKey");
        }
        return key;
    }

    @Override
    int rawLimit(int keyBytes) {
        return LONGEST_HASH;
    }

    @Override
    byte[] sign(TokenKey key, byte[] hash) throws SignatureException {
        byte[] rs = signOnToken(key, hash, CKM_ECDSA);
        return p1363 ? rs : ECDSAEncoding.toDer(rs);
    }

    @Override
    boolean verify(PublicKey key, byte[] hash, byte[] signature) throws SignatureException {
        byte[] der = p1363 ? ECDSAEncoding.toDer(signature) : signature;
        try {
            Signature verifier = OtherProviders.signature("NONEwithECDSA");
            verifier.initVerify(key);
            verifier.update(hash);
            return verifier.verify(der);
        } catch (InvalidKeyException e) {
            throw new SignatureException("The JDK's ECDSA refused the public key", e);
        }
    }
}
