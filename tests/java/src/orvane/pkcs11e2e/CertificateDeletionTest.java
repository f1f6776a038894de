package orvane.pkcs11e2e;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

import orvane.clapi.crypto.PKCS11Slot;

/** deleteCertificate with each pair of flags, each on a key set stored just for it. */
class CertificateDeletionTest extends E2eToken.LoggedIn {
    @ParameterizedTest
    @CsvSource({"true, true", "true, false", "false, true", "false, false"})
    void deletesCertificateAndTheKeysAskedFor(boolean publicKey, boolean privateKey) throws Exception {
        E2eToken.KeySet set = token.provisionKeySet();
        for (int objectClass : new int[] {PKCS11Slot.CKO_CERTIFICATE, PKCS11Slot.CKO_PUBLIC_KEY,
                PKCS11Slot.CKO_PRIVATE_KEY}) {
            assertTrue(token.idsOf(objectClass).contains(set.id()));
        }
        assertTrue(PKCS11Slot.deleteCertificate(module, slot, PKCS11Slot.CKC_X_509, set.certificate(), publicKey,
                privateKey));
        assertFalse(token.idsOf(PKCS11Slot.CKO_CERTIFICATE).contains(set.id()));
        assertEquals(!publicKey, token.idsOf(PKCS11Slot.CKO_PUBLIC_KEY).contains(set.id()));
        assertEquals(!privateKey, token.idsOf(PKCS11Slot.CKO_PRIVATE_KEY).contains(set.id()));
        assertTrue(token.idsOf(PKCS11Slot.CKO_PRIVATE_KEY).contains("01"), "other sets untouched");
        assertFalse(PKCS11Slot.deleteCertificate(module, slot, PKCS11Slot.CKC_X_509, set.certificate(), true, true),
                "a deleted certificate is no longer found");
    }

    @Test
    void missingPublicKeyStillDeletesCertificateAndPrivateKey() throws Exception {
        E2eToken.KeySet set = token.provisionKeySet();
        assertTrue(PKCS11Slot.deleteObject(module, slot, token.handleOf(PKCS11Slot.CKO_PUBLIC_KEY, set.id())));
        assertTrue(PKCS11Slot.deleteCertificate(module, slot, PKCS11Slot.CKC_X_509, set.certificate(), true, true));
        assertFalse(token.idsOf(PKCS11Slot.CKO_CERTIFICATE).contains(set.id()));
        assertFalse(token.idsOf(PKCS11Slot.CKO_PRIVATE_KEY).contains(set.id()));
    }

    @Test
    void unknownBytesDeleteNothing() throws Exception {
        int certificates = PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_CERTIFICATE);
        int privateKeys = PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_PRIVATE_KEY);
        assertFalse(PKCS11Slot.deleteCertificate(module, slot, PKCS11Slot.CKC_X_509,
                "no such certificate".getBytes(StandardCharsets.US_ASCII), true, true));
        assertFalse(PKCS11Slot.deleteCertificate(module, slot, PKCS11Slot.CKC_X_509, null, true, true));
        assertFalse(PKCS11Slot.deleteCertificate(module, slot, 1, token.certificate, true, true),
                "the certificate type is part of the search");
        assertEquals(certificates, PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_CERTIFICATE));
        assertEquals(privateKeys, PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_PRIVATE_KEY));
    }
}
