package orvane.provider;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.security.Key;
import java.security.KeyStore;
import java.security.KeyStoreException;
import java.security.KeyStoreSpi;
import java.security.UnrecoverableKeyException;
import java.security.cert.Certificate;
import java.security.cert.CertificateException;
import java.util.Arrays;
import java.util.Collections;
import java.util.Date;
import java.util.Enumeration;
import java.util.List;
import javax.security.auth.callback.Callback;
import javax.security.auth.callback.PasswordCallback;
import javax.security.auth.callback.UnsupportedCallbackException;
import orvane.clapi.crypto.PKCS11Exception;

/**
 * The "PKCS11" key store: one entry per X.509 certificate on the token, a
 * PrivateKeyEntry where a private key shares the certificate's CKA_ID (seen
 * only after a login), a TrustedCertificateEntry otherwise. Read-only; a load
 * reads the token again. Entries are replaced whole, so readers on other
 * threads see one load or the next.
 */
final class TokenKeyStore extends KeyStoreSpi {
    private static final String READ_ONLY = "The ORVNative key store is read-only: entries are made and removed on "
            + "the token with its own tools";

    private final TokenSlot slot;
    private volatile TokenEntries entries = TokenEntries.EMPTY;

    TokenKeyStore(TokenSlot slot) {
        this.slot = slot;
    }

    @Override
    public void engineLoad(InputStream stream, char[] password) throws IOException, CertificateException {
        if (stream != null) {
            throw new IOException("The ORVNative key store is read from its token, not a stream: load(null, PIN)");
        }
        load(password == null ? null : password.clone(), null);
    }

    @Override
    public void engineLoad(KeyStore.LoadStoreParameter param) throws IOException, CertificateException {
        KeyStore.ProtectionParameter protection = param == null ? null : param.getProtectionParameter();
        if (protection == null) {
            load(null, null);
        } else if (protection instanceof KeyStore.PasswordProtection) {
            char[] pin = ((KeyStore.PasswordProtection) protection).getPassword();
            load(pin == null ? null : pin.clone(), null);
        } else if (protection instanceof KeyStore.CallbackHandlerProtection) {
            load(null, (KeyStore.CallbackHandlerProtection) protection);
        } else {
            throw new IllegalArgumentException("The ORVNative key store takes a PasswordProtection or a "
                    + "CallbackHandlerProtection, not " + protection.getClass().getName());
        }
    }

    /** PIN (wiped here) or CALLBACK logs the user in; with neither, the certificates are read without a login. */
    private void load(char[] pin, KeyStore.CallbackHandlerProtection callback)
            throws IOException, CertificateException {
        try {
            int[] location = slot.open();
            char[] secret = callback != null ? ask(callback, slot.tokenLabel(location[0], location[1])) : pin;
            try {
                if (secret != null) {
                    TokenSlot.login(location[0], location[1], secret);
                }
            } finally {
                wipe(secret);
            }
            entries = TokenEntries.read(location[0], location[1]);
        } catch (PKCS11Exception e) {
            throw loadFailure(e);
        } finally {
            wipe(pin);
        }
    }

    private static char[] ask(KeyStore.CallbackHandlerProtection protection, String label) throws IOException {
        PasswordCallback callback = new PasswordCallback("PIN for token " + label + ": ", false);
        try {
            protection.getCallbackHandler().handle(new Callback[] {callback});
            char[] pin = callback.getPassword();
            return pin == null ? null : pin.clone();
        } catch (UnsupportedCallbackException e) {
            throw new IOException("The callback handler cannot ask for the token's PIN", e);
        } finally {
            callback.clearPassword();
        }
    }

    // As KeyStore.load asks: a wrong password is an IOException caused by an UnrecoverableKeyException.
    private static IOException loadFailure(PKCS11Exception e) {
        String message = String.valueOf(e.getMessage());
        if (message.endsWith("CKR_PIN_INCORRECT") || message.endsWith("CKR_PIN_LEN_RANGE")) {
            UnrecoverableKeyException refused = new UnrecoverableKeyException("The token refused the PIN: " + message);
            refused.initCause(e);
            return new IOException(refused.getMessage(), refused);
        }
        return new IOException(message, e);
    }

    private static void wipe(char[] secret) {
        if (secret != null) {
            Arrays.fill(secret, '\0');
        }
    }

    /** The token key; the password is not asked for, the login at load time covers every key. */
    @Override
    public Key engineGetKey(String alias, char[] password) {
        TokenEntries.Entry entry = entries.get(alias);
        return entry == null ? null : entry.key;
    }

    /** Any protection, or none, gives the entry: the login happened at load time. */
    @Override
    public KeyStore.Entry engineGetEntry(String alias, KeyStore.ProtectionParameter protection) {
        TokenEntries.Entry entry = entries.get(alias);
        if (entry == null) {
            return null;
        }
        if (entry.key == null) {
            return new KeyStore.TrustedCertificateEntry(entry.certificate);
        }
        return new KeyStore.PrivateKeyEntry(entry.key, engineGetCertificateChain(alias));
    }

    @Override
    public Certificate[] engineGetCertificateChain(String alias) {
        TokenEntries.Entry entry = entries.get(alias);
        if (entry == null || entry.key == null) {
            return null;
        }
        List<Certificate> chain = entries.chainOf(entry.certificate);
        return chain.toArray(new Certificate[0]);
    }

    @Override
    public Certificate engineGetCertificate(String alias) {
        TokenEntries.Entry entry = entries.get(alias);
        return entry == null ? null : entry.certificate;
    }

    /** Tokens keep no creation dates. */
    @Override
    public Date engineGetCreationDate(String alias) {
        return null;
    }

    @Override
    public void engineSetKeyEntry(String alias, Key key, char[] password, Certificate[] chain)
            throws KeyStoreException {
        throw new KeyStoreException(READ_ONLY);
    }

    @Override
    public void engineSetKeyEntry(String alias, byte[] key, Certificate[] chain) throws KeyStoreException {
        throw new KeyStoreException(READ_ONLY);
    }

    @Override
    public void engineSetCertificateEntry(String alias, Certificate cert) throws KeyStoreException {
        throw new KeyStoreException(READ_ONLY);
    }

    @Override
    public void engineDeleteEntry(String alias) throws KeyStoreException {
        throw new KeyStoreException(READ_ONLY);
    }

    @Override
    public Enumeration<String> engineAliases() {
        return Collections.enumeration(entries.aliases());
    }

    @Override
    public boolean engineContainsAlias(String alias) {
        return entries.get(alias) != null;
    }

    @Override
    public int engineSize() {
        return entries.aliases().size();
    }

    @Override
    public boolean engineIsKeyEntry(String alias) {
        TokenEntries.Entry entry = entries.get(alias);
        return entry != null && entry.key != null;
    }

    @Override
    public boolean engineIsCertificateEntry(String alias) {
        TokenEntries.Entry entry = entries.get(alias);
        return entry != null && entry.key == null;
    }

    @Override
    public String engineGetCertificateAlias(Certificate cert) {
        return entries.aliasOf(cert);
    }

    /** Nothing to write: the token holds every entry already. */
    @Override
    public void engineStore(OutputStream stream, char[] password) throws IOException {
        if (stream != null) {
            throw new IOException(READ_ONLY);
        }
    }
}
