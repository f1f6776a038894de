package orvane.providertest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.messageOf;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.InvalidParameterException;
import java.security.KeyStore;
import java.security.KeyStoreException;
import java.security.PrivateKey;
import java.security.Provider;
import java.security.Signature;
import java.security.UnrecoverableKeyException;
import java.security.cert.Certificate;
import java.security.interfaces.ECKey;
import java.security.interfaces.ECPublicKey;
import java.security.interfaces.RSAKey;
import java.security.interfaces.RSAPublicKey;
import java.util.Collections;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;

import javax.security.auth.callback.PasswordCallback;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Slot;
import orvane.provider.ORVNativeProvider;
import orvane.provider.TokenKey;
import orvane.testsupport.SoftHsmSetup;

/** The "PKCS11" key store: entries, keys, chains, logins and configurations. */
class ProviderKeyStoreTest {
    private static final String READ_ONLY = "The ORVNative key store is read-only: entries are made and removed on "
            + "the token with its own tools";

    @Test
    void entriesKeysAndChains() throws Exception {
        ProviderToken token = ProviderToken.get();
        KeyStore store = token.store;
        assertEquals(Set.of("orv-rsa", "orv-ec", "orv-leaf", "orv-ca"), new TreeSet<>(Collections.list(store.aliases())));
        assertTrue(store.isKeyEntry("orv-rsa") && store.isKeyEntry("orv-ec") && store.isKeyEntry("orv-leaf"));
        assertTrue(store.isCertificateEntry("orv-ca"));
        assertNull(store.getKey("orv-ca", null));
        TokenKey rsa = (TokenKey) store.getKey("orv-rsa", null);
        assertEquals("RSA", rsa.getAlgorithm());
        assertNull(rsa.getEncoded());
        assertEquals(((RSAPublicKey) token.certificate("orv-rsa").getPublicKey()).getModulus(),
                ((RSAKey) rsa).getModulus());
        KeyStore.PrivateKeyEntry ec = (KeyStore.PrivateKeyEntry) store.getEntry("orv-ec", null);
        assertEquals("EC", ec.getPrivateKey().getAlgorithm());
        assertEquals(((ECPublicKey) token.certificate("orv-ec").getPublicKey()).getParams().getOrder(),
                ((ECKey) ec.getPrivateKey()).getParams().getOrder());
        assertArrayEquals(new Certificate[] {token.certificate("orv-leaf"), token.certificate("orv-ca")},
                store.getCertificateChain("orv-leaf"));
        assertEquals(List.of(token.certificate("orv-rsa")), List.of(store.getCertificateChain("orv-rsa")));
        assertEquals("orv-ca", store.getCertificateAlias(token.certificate("orv-ca")));
        assertEquals(READ_ONLY, messageOf(KeyStoreException.class, () -> store.deleteEntry("orv-rsa")));
        assertEquals(READ_ONLY, messageOf(KeyStoreException.class,
                () -> store.setCertificateEntry("new", token.certificate("orv-ca"))));
    }

    @Test
    void loginsWithoutPinWithCallbackAndWithAWrongPin() throws Exception {
        ProviderToken token = ProviderToken.get();
        KeyStore store = KeyStore.getInstance("PKCS11", token.provider);
        int module = ((TokenKey) token.store.getKey("orv-rsa", null)).getModuleId();
        int slot = ((TokenKey) token.store.getKey("orv-rsa", null)).getSlotIndex();
        try {
            PKCS11Slot.closeSession(module, slot); // the token's last session: the user is logged out
            store.load(null, null);
            assertEquals(4, store.size());
            assertFalse(store.isKeyEntry("orv-rsa"), "no private key is seen without a login");
            IOException wrong = assertThrows(IOException.class, () -> store.load(null, "000000".toCharArray()));
            assertInstanceOf(UnrecoverableKeyException.class, wrong.getCause());
            assertTrue(wrong.getMessage().endsWith("CKR_PIN_INCORRECT"), wrong.getMessage());
            String[] prompt = new String[1];
            store.load(new KeyStore.LoadStoreParameter() {
                @Override
                public KeyStore.ProtectionParameter getProtectionParameter() {
                    return new KeyStore.CallbackHandlerProtection(callbacks -> {
                        PasswordCallback callback = (PasswordCallback) callbacks[0];
                        prompt[0] = callback.getPrompt();
                        callback.setPassword(ProviderToken.PIN.toCharArray());
                    });
                }
            });
            assertEquals("PIN for token orv-provider: ", prompt[0]);
            assertTrue(store.isKeyEntry("orv-rsa"));
        } finally {
            token.store.load(null, ProviderToken.PIN.toCharArray());
        }
    }

    @Test
    void configurations() throws Exception {
        ProviderToken token = ProviderToken.get();
        Path file = token.dir.resolve("provider.cfg");
        Files.write(file, ("# by index\nlibrary = \"" + SoftHsmSetup.MODULE + "\"\nslotListIndex = 7\n")
                .getBytes(StandardCharsets.UTF_8));
        Provider byIndex = new ORVNativeProvider().configure(file.toString());
        assertEquals("ORVNative", byIndex.getName());
        assertTrue(byIndex.isConfigured() && !new ORVNativeProvider().isConfigured());
        KeyStore beyond = KeyStore.getInstance("PKCS11", byIndex);
        assertTrue(messageOf(IOException.class, () -> beyond.load(null, null))
                .startsWith("ORVNativeProvider - slotListIndex 7 is beyond the "));
        assertEquals("The ORVNative configuration names no library",
                messageOf(InvalidParameterException.class, () -> new ORVNativeProvider("--name = x")));
        assertEquals("The ORVNative configuration key \"slot\" is unknown", messageOf(
                InvalidParameterException.class, () -> new ORVNativeProvider("--library = x\nslot = 1")));
        assertEquals("This ORVNative-test provider is already configured",
                messageOf(InvalidParameterException.class, () -> token.provider.configure(token.config)));
        assertTrue(messageOf(InvalidParameterException.class, () -> new ORVNativeProvider("/no/such.cfg"))
                .startsWith("The ORVNative configuration file /no/such.cfg cannot be read: "));
        // Side by side: the same token again, and the module's second token.
        KeyStore again = KeyStore.getInstance("PKCS11", new ORVNativeProvider(token.config.replace("test", "two")));
        again.load(null, ProviderToken.PIN.toCharArray());
        assertEquals(token.store.getCertificate("orv-ec"), again.getCertificate("orv-ec"));
        KeyStore second = KeyStore.getInstance("PKCS11", new ORVNativeProvider(
                token.config.replace("test", "three").replace(ProviderToken.LABEL, ProviderToken.SECOND)));
        second.load(null, ProviderToken.PIN.toCharArray());
        assertEquals(List.of(ProviderToken.SECOND), Collections.list(second.aliases()));
        Signature signer = Signature.getInstance("SHA256withRSA");
        signer.initSign((PrivateKey) second.getKey(ProviderToken.SECOND, null));
        signer.update(token.config.getBytes(StandardCharsets.UTF_8));
        assertTrue(SoftHsmSetup.verifies("SHA256withRSA", token.certificate(ProviderToken.SECOND).getPublicKey(),
                token.config.getBytes(StandardCharsets.UTF_8), signer.sign()));
    }
}
