package orvane.bench;

import java.security.KeyStore;
import java.security.PrivateKey;
import java.security.Signature;
import java.util.List;
import orvane.provider.ORVNativeProvider;

/**
 * The JCA provider over our natives: Signature on the bridge path's own module
 * instance and token, hashing in Java and signing the DigestInfo with
 * CKM_RSA_PKCS, where the bridge path hands the module CKM_SHA*_RSA_PKCS.
 */
final class ProviderPath implements BenchPath {
    private final Inputs inputs;
    private final Signature sha1Signer;
    private final Signature sha256Signer;

    ProviderPath(String module, BridgePath bridge, Inputs inputs, String pin) throws Exception {
        this.inputs = inputs;
        ORVNativeProvider.useModule(module, bridge.moduleId());
        ORVNativeProvider provider = new ORVNativeProvider("--library = " + module + "\ntokenLabel = "
                + Operation.Token.MAIN.label + "\nname = bench");
        KeyStore store = KeyStore.getInstance("PKCS11", provider);
        store.load(null, pin.toCharArray());
        PrivateKey key = (PrivateKey) store.getKey("bench", null);
        sha1Signer = Signature.getInstance("SHA1withRSA", provider);
        sha1Signer.initSign(key);
        sha256Signer = Signature.getInstance("SHA256withRSA", provider);
        sha256Signer.initSign(key);
    }

    @Override
    public String name() {
        return "provider";
    }

    /** The provider's row is signing; the rest is the bridge's natives again. */
    @Override
    public boolean supports(Operation operation) {
        return operation == Operation.SIGN_SHA1 || operation == Operation.SIGN_SHA256;
    }

    private byte[] perform(Operation operation) throws Exception {
        Signature signer = operation == Operation.SIGN_SHA1 ? sha1Signer : sha256Signer;
        signer.update(inputs.data1k);
        return signer.sign();
    }

    @Override
    public List<byte[]> result(Operation operation) throws Exception {
        return List.of(perform(operation));
    }

    @Override
    public List<byte[]> resultOfBadVerify() {
        throw new UnsupportedOperationException("the provider path does not verify");
    }

    @Override
    public Sample run(Operation operation, int batch, long budgetMillis) throws Exception {
        return Sample.timed(batch, budgetMillis, () -> perform(operation));
    }

    @Override
    public void close() {
    }
}
