package orvane.bench;

import java.security.KeyStore;
import java.security.MessageDigest;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.SecureRandom;
import java.security.Security;
import java.security.Signature;
import java.util.ArrayList;
import java.util.Collections;
import java.util.EnumMap;
import java.util.List;
import java.util.Map;
import javax.crypto.Cipher;

/** The JDK's own PKCS#11 provider on the same tokens, through a copy of the module (a separate instance). */
final class SunPath implements BenchPath {
    private final Inputs inputs;
    private final char[] pin;
    private final Map<Operation.Token, Provider> providers = new EnumMap<>(Operation.Token.class);
    private final Signature sha1Signer;
    private final Signature sha256Signer;
    private final Signature verifier;
    private final Cipher decrypter;
    private final MessageDigest sha1;
    private final SecureRandom random;
    private final byte[] randomBytes = new byte[32];

    SunPath(String moduleCopy, Inputs inputs, String pin, Iterable<Operation.Token> tokens) throws Exception {
        this.inputs = inputs;
        this.pin = pin.toCharArray();
        Provider base = Security.getProvider("SunPKCS11");
        for (Operation.Token token : tokens) {
            String config = "--name = " + token.label.replace('-', '_') + "\nlibrary = " + moduleCopy
                    + "\nslot = " + inputs.slotOf(token.label) + "\n";
            providers.put(token, base.configure(config));
        }
        Provider main = providers.get(Operation.Token.MAIN);
        KeyStore store = keyStore(main);
        PrivateKey key = (PrivateKey) store.getKey("bench", null);
        sha1Signer = Signature.getInstance("SHA1withRSA", main);
        sha1Signer.initSign(key);
        sha256Signer = Signature.getInstance("SHA256withRSA", main);
        sha256Signer.initSign(key);
        verifier = Signature.getInstance("SHA256withRSA", main);
        verifier.initVerify(inputs.x509.getPublicKey());
        decrypter = Cipher.getInstance("RSA/ECB/PKCS1Padding", main);
        decrypter.init(Cipher.DECRYPT_MODE, key);
        sha1 = MessageDigest.getInstance("SHA-1", main);
        random = SecureRandom.getInstance("PKCS11", main);
    }

    private KeyStore keyStore(Provider provider) throws Exception {
        KeyStore store = KeyStore.getInstance("PKCS11", provider);
        store.load(null, pin);
        return store;
    }

    @Override
    public String name() {
        return "SunPKCS11";
    }

    /** The provider has no call that reads the token's description. */
    @Override
    public boolean supports(Operation operation) {
        return operation != Operation.TOKEN_INFO;
    }

    private Object perform(Operation operation) throws Exception {
        switch (operation) {
            case SIGN_SHA1:
                sha1Signer.update(inputs.data1k);
                return sha1Signer.sign();
            case SIGN_SHA256:
                sha256Signer.update(inputs.data1k);
                return sha256Signer.sign();
            case VERIFY:
                return verification(inputs.signature);
            case DECRYPT:
                return decrypter.doFinal(inputs.cipherText);
            case DIGEST_1K:
                return sha1.digest(inputs.data1k);
            case DIGEST_1M:
                return sha1.digest(inputs.data1m);
            case RANDOM_32:
                random.nextBytes(randomBytes);
                return randomBytes.clone();
            default:
                return listCertificates(providers.get(operation.token));
        }
    }

    private boolean verification(byte[] signature) throws Exception {
        verifier.update(inputs.data1k);
        return verifier.verify(signature);
    }

    // A fresh key store load reads the token's objects again, as the other paths do.
    private List<byte[]> listCertificates(Provider provider) throws Exception {
        KeyStore store = keyStore(provider);
        List<byte[]> certificates = new ArrayList<>();
        for (String alias : Collections.list(store.aliases())) {
            certificates.add(store.getCertificate(alias).getEncoded());
        }
        return certificates;
    }

    @Override
    @SuppressWarnings("unchecked")
    public List<byte[]> result(Operation operation) throws Exception {
        Object result = perform(operation);
        if (result instanceof byte[]) {
            return List.of((byte[]) result);
        }
        if (result instanceof Boolean) {
            return List.of(new byte[] {(byte) ((Boolean) result ? 1 : 0)});
        }
        return (List<byte[]>) result;
    }

    @Override
    public List<byte[]> resultOfBadVerify() throws Exception {
        return List.of(new byte[] {(byte) (verification(inputs.badSignature) ? 1 : 0)});
    }

    @Override
    public Sample run(Operation operation, int batch, long budgetMillis) throws Exception {
        return Sample.timed(batch, budgetMillis, () -> perform(operation));
    }

    @Override
    public void close() {
    }
}
