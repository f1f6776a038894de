package orvane.pkcs11e2e;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.hex;
import static orvane.testsupport.SoftHsmSetup.messageOf;
import static orvane.testsupport.SoftHsmSetup.rsa;

import java.nio.charset.StandardCharsets;
import java.util.List;

import javax.crypto.Cipher;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

import orvane.clapi.crypto.PKCS11Slot;

/** Sign, verify, encrypt, decrypt and unwrap on SoftHSM2, checked against Java's own RSA. */
class CryptoTest extends E2eToken.LoggedIn {
    private static final String VERIFY = "PKCS11Slot::verifyData(const Certificate&, const ByteArray&, "
            + "const ByteArray&, unsigned int) - ";
    private static final byte[] DOCUMENT = "The quick brown fox jumps over the lazy dog".getBytes(StandardCharsets.UTF_8);

    @BeforeEach
    void oneInitPerOperation() throws Exception {
        PKCS11Slot.setCall2ndInit(module, slot, false);
    }

    @ParameterizedTest
    @CsvSource({"6, SHA1withRSA", "64, SHA256withRSA"})
    void signatureVerifiesWithJava(int mechanism, String algorithm) throws Exception {
        byte[] signature = PKCS11Slot.signData(module, slot, token.certificate, DOCUMENT, mechanism);
        assertEquals(256, signature.length);
        assertTrue(token.key.verifies(algorithm, DOCUMENT, signature));
    }

    @Test
    void javaSignatureVerifiesOnTokenAndTamperingIsDetected() throws Exception {
        byte[] signature = token.key.sign("SHA256withRSA", DOCUMENT);
        assertTrue(PKCS11Slot.verifyData(module, slot, token.certificate, DOCUMENT, signature,
                PKCS11Slot.CKM_SHA256_RSA_PKCS));
        byte[] tampered = signature.clone();
        tampered[17] ^= 0x40;
        assertFalse(PKCS11Slot.verifyData(module, slot, token.certificate, DOCUMENT, tampered,
                PKCS11Slot.CKM_SHA256_RSA_PKCS));
        assertFalse(PKCS11Slot.verifyData(module, slot, token.certificate, "another text".getBytes(StandardCharsets.UTF_8),
                signature, PKCS11Slot.CKM_SHA256_RSA_PKCS));
    }

    @Test
    void signatureOfWrongLengthNamesTheModulesAnswer() throws Exception {
        byte[] signature = PKCS11Slot.signData(module, slot, token.certificate, DOCUMENT, PKCS11Slot.CKM_SHA1_RSA_PKCS);
        byte[] shortened = java.util.Arrays.copyOf(signature, 255);
        assertEquals(VERIFY + "Failed on call to C_Verify() - CKR_SIGNATURE_LEN_RANGE",
                failure(() -> PKCS11Slot.verifyData(module, slot, token.certificate, DOCUMENT, shortened,
                        PKCS11Slot.CKM_SHA1_RSA_PKCS)));
    }

    @Test
    void secondInitRefusedBySoftHsm() throws Exception {
        PKCS11Slot.setCall2ndInit(module, slot, true);
        try {
            assertEquals("PKCS11Slot::signData(const Certificate&, const ByteArray&, unsigned int) - "
                    + "Failed on second call to C_SignInit() - CKR_OPERATION_ACTIVE",
                    failure(() -> PKCS11Slot.signData(module, slot, token.certificate, DOCUMENT,
                            PKCS11Slot.CKM_SHA1_RSA_PKCS)));
        } finally {
            PKCS11Slot.setCall2ndInit(module, slot, false);
            // The refused Init leaves the first signing operation active in the session.
            token.reopen();
        }
        assertEquals(256, PKCS11Slot.signData(module, slot, token.certificate, DOCUMENT,
                PKCS11Slot.CKM_SHA1_RSA_PKCS).length);
    }

    @Test
    void encryptDecryptRoundTripOnToken() throws Exception {
        byte[] secret = "a 16 byte secret".getBytes(StandardCharsets.US_ASCII);
        byte[] cipherText = PKCS11Slot.encryptData(module, slot, token.certificate, secret, PKCS11Slot.CKM_RSA_PKCS);
        assertEquals(256, cipherText.length);
        assertArrayEquals(secret, PKCS11Slot.decryptData(module, slot, token.certificate, cipherText,
                PKCS11Slot.CKM_RSA_PKCS));
        byte[] again = PKCS11Slot.encryptData(module, slot, token.certificate, secret, PKCS11Slot.CKM_RSA_PKCS);
        assertNotEquals(hex(cipherText), hex(again), "PKCS#1 v1.5 padding is random");
    }

    @Test
    void tokenCipherTextOpensWithJava() throws Exception {
        byte[] secret = new byte[] {0, 1, 2, 3, (byte) 0xff, 0, 7};
        byte[] cipherText = PKCS11Slot.encryptData(module, slot, token.certificate, secret, PKCS11Slot.CKM_RSA_PKCS);
        assertArrayEquals(secret, rsa(Cipher.DECRYPT_MODE, token.key.privateKey, cipherText));
    }

    @Test
    void javaCipherTextOpensOnTokenAndUnwrapsAlike() throws Exception {
        byte[] sessionKey = new byte[32];
        new java.security.SecureRandom().nextBytes(sessionKey);
        byte[] wrapped = rsa(Cipher.ENCRYPT_MODE, token.key.publicKey, sessionKey);
        byte[] decrypted = PKCS11Slot.decryptData(module, slot, token.certificate, wrapped, PKCS11Slot.CKM_RSA_PKCS);
        assertArrayEquals(sessionKey, decrypted);
        assertArrayEquals(decrypted, PKCS11Slot.unwrapKey(module, slot, token.certificate, wrapped,
                PKCS11Slot.CKM_RSA_PKCS));
    }

    @Test
    void unknownCertificateNamedByEachNative() {
        byte[] unknown = "not a certificate on this token".getBytes(StandardCharsets.US_ASCII);
        String tail = "() - The Certificate cannot be found";
        assertEquals(List.of("PKCS11Slot_encryptData" + tail, "PKCS11Slot_decryptData" + tail,
                "PKCS11Slot_signData" + tail, "PKCS11Slot_verifyData" + tail, "PKCS11Slot_unwrapKey" + tail),
                keyFailures(unknown, null));
    }

    @Test
    void certificateWithoutKeysNamesTheMissingKey() {
        String publicKey = "The PublicKey for the supplied Certificate cannot be found";
        String privateKey = "The PrivateKey for the supplied Certificate cannot be found";
        String arguments = "(const Certificate&, const ByteArray&, unsigned int) - ";
        String decrypt = "PKCS11Slot::decryptData" + arguments + privateKey;
        assertEquals(List.of("PKCS11Slot::encryptData" + arguments + publicKey, decrypt,
                "PKCS11Slot::signData" + arguments + privateKey, VERIFY + publicKey, decrypt),
                keyFailures(token.otherCertificate, token.otherCertificate));
    }

    /** The failures of encrypt, decrypt, sign, verify (on the certificate) and unwrap (on its own), in that order. */
    private List<String> keyFailures(byte[] certificate, byte[] unwrapCertificate) {
        int rsa = PKCS11Slot.CKM_RSA_PKCS;
        return List.of(failure(() -> PKCS11Slot.encryptData(module, slot, certificate, DOCUMENT, rsa)),
                failure(() -> PKCS11Slot.decryptData(module, slot, certificate, DOCUMENT, rsa)),
                failure(() -> PKCS11Slot.signData(module, slot, certificate, DOCUMENT, rsa)),
                failure(() -> PKCS11Slot.verifyData(module, slot, certificate, DOCUMENT, DOCUMENT, rsa)),
                failure(() -> PKCS11Slot.unwrapKey(module, slot, unwrapCertificate, DOCUMENT, rsa)));
    }

    @Test
    void loggedOutPrivateKeyIsNotFound() throws Exception {
        token.close();
        PKCS11Slot.openSession(module, slot);
        assertEquals("PKCS11Slot::signData(const Certificate&, const ByteArray&, unsigned int) - "
                + "The PrivateKey for the supplied Certificate cannot be found",
                failure(() -> PKCS11Slot.signData(module, slot, token.certificate, DOCUMENT, PKCS11Slot.CKM_RSA_PKCS)));
        assertEquals(256, PKCS11Slot.encryptData(module, slot, token.certificate, DOCUMENT,
                PKCS11Slot.CKM_RSA_PKCS).length);
    }

    @Test
    void withoutSessionTheCertificateLookupFails() throws Exception {
        token.close();
        assertEquals("PKCS11Slot::findCertificate(unsigned long, const ByteArray&) - A session has not been opened !",
                failure(() -> PKCS11Slot.signData(module, slot, token.certificate, DOCUMENT, PKCS11Slot.CKM_RSA_PKCS)));
    }

    @Test
    void badModuleAndSlotRaisedAsTheirKinds() {
        assertEquals("PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '-7' was not found",
                failure(() -> PKCS11Slot.signData(-7, slot, token.certificate, DOCUMENT, PKCS11Slot.CKM_RSA_PKCS)));
        String index = messageOf(IndexOutOfBoundsException.class,
                () -> PKCS11Slot.verifyData(module, 1000, token.certificate, DOCUMENT, DOCUMENT, 1));
        assertTrue(index.startsWith("PKCS11Module::getSlot(unsigned int) - index '1000' is out of bounds"), index);
        assertThrows(IndexOutOfBoundsException.class, () -> PKCS11Slot.setCall2ndInit(module, -1, true));
    }

    @Test
    void mechanismKeepsAllThirtyTwoBits() {
        assertEquals("PKCS11Slot::signData(const Certificate&, const ByteArray&, unsigned int) - "
                + "Failed on call to C_SignInit() - CKR_MECHANISM_INVALID",
                failure(() -> PKCS11Slot.signData(module, slot, token.certificate, DOCUMENT, -1)));
        assertEquals("PKCS11Slot::verifyData(const PublicKey&, const ByteArray&, unsigned int) - "
                + "Failed on call to C_VerifyInit() - CKR_MECHANISM_INVALID",
                failure(() -> PKCS11Slot.verifyData(module, slot, token.certificate, DOCUMENT, DOCUMENT,
                        0x80000000 | PKCS11Slot.CKM_SHA1_RSA_PKCS)));
    }

    @Test
    void emptyAndNullDataAreAnswersOfTheModule() throws Exception {
        byte[] empty = PKCS11Slot.encryptData(module, slot, token.certificate, null, PKCS11Slot.CKM_RSA_PKCS);
        assertEquals(0, PKCS11Slot.decryptData(module, slot, token.certificate, empty, PKCS11Slot.CKM_RSA_PKCS).length);
        // SoftHSM2 refuses a cipher text shorter than the modulus only in the final call.
        assertEquals("PKCS11Slot::decryptData(const Certificate&, const ByteArray&, unsigned int) - "
                + "Failed on second call to C_Decrypt() - CKR_GENERAL_ERROR",
                failure(() -> PKCS11Slot.decryptData(module, slot, token.certificate, new byte[3],
                        PKCS11Slot.CKM_RSA_PKCS)));
    }
}
