package orvane.card;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import javax.crypto.Cipher;
import javax.crypto.KeyGenerator;
import javax.crypto.SecretKey;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.clapi.crypto.PKCS11TokenInfo;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/** The card's token, certificate and key through OpenSC, every result checked by java.security. */
@Timeout(value = 20, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
class CardTokenTest {
    private static final byte[] DATA = "ORVNative on a smart card".getBytes(StandardCharsets.UTF_8);

    @BeforeEach
    @Timeout(value = 20, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void loggedIn() throws Exception {
        Card.ensureInserted();
        Card.freshLogin();
    }

    @Test
    void tokenInformation() throws Exception {
        PKCS11TokenInfo info = PKCS11Slot.getTokenInfo(Card.module(), Card.SLOT);
        // OpenSC's CAC emulation names the token after the certificate's common name.
        assertEquals("ORV card signer", info.getLabel().trim());
        assertEquals("Common Access Card", info.getManufacturerID().trim());
        assertEquals("PKCS#15 emulated", info.getModel().trim());
        assertEquals(32, info.getLabel().length());
        assertTrue(info.isLoginRequired());
        assertTrue(PKCS11Slot.tokenPresent(Card.module(), Card.SLOT));
    }

    @Test
    void theCertificateIsTheDatabasesOwn() throws Exception {
        int m = Card.module();
        assertEquals(1, PKCS11Slot.getNumberOfCertificates(m, Card.SLOT, PKCS11Slot.CKC_X_509));
        assertArrayEquals(Card.certificate(), PKCS11Slot.getCertificate(m, Card.SLOT, PKCS11Slot.CKC_X_509, 0));
    }

    @Test
    void signsWithSha1AndSha256() throws Exception {
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA1_RSA_PKCS, "SHA1withRSA");
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
    }

    @Test
    void verifiesItsOwnSignatureAndRefusesATamperedOne() throws Exception {
        int m = Card.module();
        byte[] cert = Card.certificate();
        int mech = PKCS11Slot.CKM_SHA256_RSA_PKCS;
        byte[] signature = PKCS11Slot.signData(m, Card.SLOT, cert, DATA, mech);
        assertTrue(PKCS11Slot.verifyData(m, Card.SLOT, cert, DATA, signature, mech));
        byte[] tampered = DATA.clone();
        tampered[0] ^= 1;
        assertFalse(PKCS11Slot.verifyData(m, Card.SLOT, cert, tampered, signature, mech));
    }

    @Test
    void decryptsAndUnwrapsWhatJavaEncrypted() throws Exception {
        Cipher rsa = Cipher.getInstance("RSA/ECB/PKCS1Padding");
        rsa.init(Cipher.ENCRYPT_MODE, Card.publicKey());
        byte[] plain = "a secret for the card".getBytes(StandardCharsets.UTF_8);
        byte[] cipherText = rsa.doFinal(plain);
        assertArrayEquals(plain, PKCS11Slot.decryptData(Card.module(), Card.SLOT, Card.certificate(), cipherText,
                PKCS11Slot.CKM_RSA_PKCS));

        KeyGenerator aes = KeyGenerator.getInstance("AES");
        aes.init(128);
        SecretKey key = aes.generateKey();
        rsa.init(Cipher.WRAP_MODE, Card.publicKey());
        byte[] wrapped = rsa.wrap(key);
        assertArrayEquals(key.getEncoded(), PKCS11Slot.unwrapKey(Card.module(), Card.SLOT, Card.certificate(),
                wrapped, PKCS11Slot.CKM_RSA_PKCS));
    }

    @Test
    void aWrongPinIsAGeneralErrorOnThisCard() throws Exception {
        int m = Card.module();
        // Closing the last session logs the user out, so the wrong PIN meets a card nobody is logged in to.
        PKCS11Slot.closeSession(m, Card.SLOT);
        PKCS11Slot.openSession(m, Card.SLOT);
        String wrong = new StringBuilder(Card.pin()).reverse().toString();
        assertFalse(wrong.equals(Card.pin()));
        PKCS11Exception e = assertThrows(PKCS11Exception.class,
                () -> PKCS11Slot.login(m, Card.SLOT, wrong, PKCS11Slot.CKU_USER));
        assertEquals("PKCS11Slot::login(const String&, CK_USER_TYPE) - Failed on call to C_Login('****', '1')"
                + " - CKR_GENERAL_ERROR", e.getMessage());
        PKCS11Slot.login(m, Card.SLOT, Card.pin(), PKCS11Slot.CKU_USER);
        Card.signAndCheck(DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
    }
}
