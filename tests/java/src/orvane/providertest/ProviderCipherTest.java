package orvane.providertest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.messageOf;

import java.nio.charset.StandardCharsets;
import java.security.InvalidKeyException;
import java.security.Key;
import java.security.ProviderException;
import java.security.cert.X509Certificate;

import javax.crypto.Cipher;
import javax.crypto.KeyGenerator;
import javax.crypto.SecretKey;

import org.junit.jupiter.api.Test;

import orvane.testsupport.SoftHsmSetup;

/** RSA/ECB/PKCS1Padding: the token decrypts and unwraps what the JDK's own RSA encrypted and wrapped. */
class ProviderCipherTest {
    @Test
    void decryptAndUnwrapRoundTrips() throws Exception {
        ProviderToken token = ProviderToken.get();
        Key key = token.store.getKey(ProviderToken.RSA, null);
        X509Certificate certificate = token.certificate(ProviderToken.RSA);
        byte[] secret = "a secret of the token's".getBytes(StandardCharsets.UTF_8);
        Cipher jdk = Cipher.getInstance("RSA/ECB/PKCS1Padding", "SunJCE");
        jdk.init(Cipher.ENCRYPT_MODE, certificate);
        Cipher ours = Cipher.getInstance("RSA/ECB/PKCS1Padding", token.provider);
        ours.init(Cipher.DECRYPT_MODE, key);
        assertArrayEquals(secret, ours.doFinal(jdk.doFinal(secret)));
        Cipher encrypter = Cipher.getInstance("RSA", token.provider);
        encrypter.init(Cipher.ENCRYPT_MODE, certificate);
        assertArrayEquals(secret, ours.doFinal(encrypter.doFinal(secret)));

        SecretKey aes = KeyGenerator.getInstance("AES").generateKey();
        jdk.init(Cipher.WRAP_MODE, certificate);
        ours.init(Cipher.UNWRAP_MODE, key);
        assertArrayEquals(aes.getEncoded(), ours.unwrap(jdk.wrap(aes), "AES", Cipher.SECRET_KEY).getEncoded());

        ours.init(Cipher.DECRYPT_MODE, key);
        byte[] garbage = new byte[256];
        garbage[5] = 1;
        // SoftHSM2 reports a bad padding as CKR_GENERAL_ERROR, which cannot be told from a failing token.
        assertTrue(messageOf(ProviderException.class, () -> ours.doFinal(garbage)).endsWith("CKR_GENERAL_ERROR"));
        Key software = new SoftHsmSetup.KeyFiles(token.dir, ProviderToken.RSA).privateKey;
        assertThrows(InvalidKeyException.class, () -> ours.init(Cipher.DECRYPT_MODE, software));
    }
}
