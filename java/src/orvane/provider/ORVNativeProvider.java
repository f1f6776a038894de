package orvane.provider;

import java.security.InvalidParameterException;
import java.security.NoSuchAlgorithmException;
import java.security.Provider;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * The JCA provider over the ORVNative bridge: a "PKCS11" key store of one
 * token's certificates and keys, and Signature and Cipher services that work
 * with those keys. Configured like the JDK's PKCS#11 provider: by
 * {@link #configure(String)} or the constructor taking the same argument, a
 * configuration file's path or, after a leading "--", the configuration itself.
 * The unconfigured provider offers Signature and Cipher only.
 */
public final class ORVNativeProvider extends Provider {
    private static final long serialVersionUID = 1L;
    private static final String BASE_NAME = "ORVNative";
    private static final String RSA_KEYS = TokenRSAKey.class.getName();
    private static final String EC_KEYS = TokenECKey.class.getName();
    private static final String[] DIGESTS = {"SHA1", "SHA224", "SHA256", "SHA384", "SHA512"};

    private final transient TokenSlot slot;

    /** The provider without a token: Signature and Cipher for keys another instance's key store gave out. */
    public ORVNativeProvider() {
        this(BASE_NAME, null);
    }

    /** Java 8's keytool and jarsigner hand -providerArg to this constructor. */
    public ORVNativeProvider(String configuration) {
        this(TokenConfig.parse(configuration));
    }

    private ORVNativeProvider(TokenConfig config) {
        this(config.providerName(BASE_NAME), new TokenSlot(config));
    }

    @SuppressWarnings("deprecation") // the only constructor Java 8 has
    private ORVNativeProvider(String name, TokenSlot slot) {
        super(name, 1.0, "ORVNative bridge to PKCS#11 tokens"
                + (slot == null ? "" : " (" + slot.describe() + ")"));
        this.slot = slot;
        registerSignatures();
        putService(new EngineService(this, "Cipher", "RSA/ECB/PKCS1Padding", TokenRSACipher.class,
                keyClasses(RSA_KEYS), Collections.<String>emptyList(), TokenRSACipher::new));
        Map<String, String> rsa = keyClasses(RSA_KEYS);
        rsa.put("SupportedModes", "ECB");
        rsa.put("SupportedPaddings", "PKCS1PADDING");
        putService(new EngineService(this, "Cipher", "RSA", TokenRSACipher.class, rsa,
                Collections.<String>emptyList(), TokenRSACipher::new));
        if (slot != null) {
            putService(new EngineService(this, "KeyStore", "PKCS11", TokenKeyStore.class, null,
                    Collections.<String>emptyList(), () -> new TokenKeyStore(slot)));
        }
    }

    /**
     * A provider configured by ARG, a configuration file's path or "--" and the
     * configuration itself; this instance stays as it was. Not marked as an
     * override, so the class compiles for Java 8, which has no such method;
     * on later VMs it overrides by its exact signature, Provider as result.
     */
    public Provider configure(String configArg) {
        if (slot != null) {
            throw new InvalidParameterException("This " + getName() + " provider is already configured");
        }
        return new ORVNativeProvider(configArg);
    }

    /** True once a token is configured. */
    public boolean isConfigured() {
        return slot != null;
    }

    /**
     * Tells every provider instance that the application has already loaded
     * this module itself under this id; a module loads once per process.
     */
    public static void useModule(String library, int moduleId) {
        ModuleIds.use(library, moduleId);
    }

    private void registerSignatures() {
        putSignature("NONEwithRSA", RSA_KEYS, () -> new RSASignature(null));
        for (String digest : DIGESTS) {
            String hash = TokenSignature.digestName(digest);
            putSignature(digest + "withRSA", RSA_KEYS, () -> new RSASignature(hash));
            putSignature(digest + "withECDSA", EC_KEYS, () -> new ECDSASignature(hash, false));
            putSignature(digest + "withECDSAinP1363Format", EC_KEYS, () -> new ECDSASignature(hash, true));
        }
        putSignature("RSASSA-PSS", RSA_KEYS, PSSSignature::new, "PSS", "1.2.840.113549.1.1.10",
                "OID.1.2.840.113549.1.1.10");
        putSignature("NONEwithECDSA", EC_KEYS, () -> new ECDSASignature(null, false));
        putSignature("NONEwithECDSAinP1363Format", EC_KEYS, () -> new ECDSASignature(null, true));
    }

    private void putSignature(String algorithm, String keys, EngineFactory factory, String... aliases) {
        putService(new EngineService(this, "Signature", algorithm, TokenSignature.class, keyClasses(keys),
                Arrays.asList(aliases), factory));
    }

    // SupportedKeyClasses keeps the JCA's delayed provider selection from
    // offering this provider keys that are not its own.
    private static Map<String, String> keyClasses(String classes) {
        Map<String, String> attributes = new HashMap<>();
        attributes.put("SupportedKeyClasses", classes);
        return attributes;
    }

    /** Makes one engine object. */
    interface EngineFactory {
        Object create() throws NoSuchAlgorithmException;
    }

    /** A service whose engines are made by a factory, so one engine class serves several algorithms. */
    private static final class EngineService extends Provider.Service {
        private final EngineFactory factory;

        EngineService(Provider provider, String type, String algorithm, Class<?> engine,
                Map<String, String> attributes, List<String> aliases, EngineFactory factory) {
            super(provider, type, algorithm, engine.getName(), aliases, attributes);
            this.factory = factory;
        }

        @Override
        public Object newInstance(Object constructorParameter) throws NoSuchAlgorithmException {
            if (constructorParameter != null) {
                throw new InvalidParameterException(getType() + " takes no constructor parameter");
            }
            return factory.create();
        }
    }
}
