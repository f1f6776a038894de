package orvane.providertest;

import static orvane.testsupport.SoftHsmSetup.material;
import static orvane.testsupport.SoftHsmSetup.run;

import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyStore;
import java.security.Security;
import java.security.cert.X509Certificate;

import orvane.provider.ORVNativeProvider;
import orvane.testsupport.SoftHsmSetup;

/**
 * One SoftHSM2 token per JVM, made by tools/material.sh: an RSA-2048 key
 * (CKA_ID 01) and an EC P-256 key (02), each with its self-signed certificate,
 * a key whose certificate a CA issued (03) and that CA's certificate without a
 * key (04); and a second token with one RSA key. The provider over the first is installed first among the JVM's
 * providers, so every lookup by name must pass it over for keys not its own.
 */
final class ProviderToken {
    static final String LABEL = "orv-provider";
    static final String PIN = "135790";
    static final String RSA = "orv-rsa";
    static final String EC = "orv-ec";
    static final String LEAF = "orv-leaf";
    static final String CA = "orv-ca";
    /** A second token in the same module, holding one RSA key, labelled as its key. */
    static final String SECOND = "orv-second";

    private static ProviderToken token;

    final Path dir;
    final String config;
    final ORVNativeProvider provider;
    final KeyStore store;

    static synchronized ProviderToken get() throws Exception {
        return token != null ? token : (token = new ProviderToken());
    }

    private ProviderToken() throws Exception {
        dir = SoftHsmSetup.freshTokenDirectory();
        material("keypair", dir, RSA);
        material("keypair", dir, EC, "ec");
        material("keypair", dir, CA);
        material("keypair", dir, LEAF);
        run("openssl", "req", "-new", "-key", dir.resolve(LEAF + ".key").toString(), "-subj", "/CN=" + LEAF,
                "-out", dir.resolve(LEAF + ".csr").toString());
        run("openssl", "x509", "-req", "-in", dir.resolve(LEAF + ".csr").toString(), "-CA",
                dir.resolve(CA + ".der").toString(), "-CAform", "DER", "-CAkey", dir.resolve(CA + ".key").toString(),
                "-set_serial", "7", "-days", "3650", "-outform", "DER", "-out", dir.resolve(LEAF + ".der").toString());
        material("token", dir, LABEL, "97531", PIN, RSA, EC, LEAF);
        material("store", dir, LABEL, PIN, "04", CA + ".der");
        material("keypair", dir, SECOND);
        material("token", dir, SECOND, "97531", PIN, SECOND);
        config = "--library = " + SoftHsmSetup.MODULE + "\ntokenLabel = " + LABEL + "\nname = test\n";
        provider = new ORVNativeProvider(config);
        Security.insertProviderAt(provider, 1);
        store = KeyStore.getInstance("PKCS11", provider);
        store.load(null, PIN.toCharArray());
    }

    X509Certificate certificate(String name) throws Exception {
        return SoftHsmSetup.x509(Files.readAllBytes(dir.resolve(name + ".der")));
    }
}
