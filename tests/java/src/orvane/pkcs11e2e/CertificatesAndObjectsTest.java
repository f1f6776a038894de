package orvane.pkcs11e2e;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.hex;
import static orvane.testsupport.SoftHsmSetup.messageOf;

import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Object;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.clapi.crypto.PKCS11TokenInfo;

/** Certificate and object listings and the token description, read from SoftHSM2. */
class CertificatesAndObjectsTest extends E2eToken.LoggedIn {
    @Test
    void certificatesComeBackAsProvisioned() throws Exception {
        List<String> all = new ArrayList<>();
        int n = PKCS11Slot.getNumberOfCertificates(module, slot, PKCS11Slot.CKC_X_509);
        for (int i = 0; i < n; i++) {
            all.add(hex(PKCS11Slot.getCertificate(module, slot, PKCS11Slot.CKC_X_509, i)));
        }
        assertTrue(all.contains(hex(token.certificate)));
        assertTrue(all.contains(hex(token.otherCertificate)));
        assertEquals(all.size(), PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_CERTIFICATE));
    }

    @Test
    void certificateIndexPastTheEndRaisesIndexOutOfBounds() throws Exception {
        int n = PKCS11Slot.getNumberOfCertificates(module, slot, PKCS11Slot.CKC_X_509);
        assertEquals("Certificates::getCertificate(unsigned int) - index '" + n + "' is out of bounds (0, " + (n - 1)
                + ")", messageOf(IndexOutOfBoundsException.class,
                        () -> PKCS11Slot.getCertificate(module, slot, PKCS11Slot.CKC_X_509, n)));
        assertThrows(IndexOutOfBoundsException.class,
                () -> PKCS11Slot.getCertificate(module, slot, PKCS11Slot.CKC_X_509, -1));
    }

    @Test
    void otherCertificateTypeHasNone() throws Exception {
        final int attributeCertificate = 1;
        assertEquals(0, PKCS11Slot.getNumberOfCertificates(module, slot, attributeCertificate));
        assertEquals("Certificates::getCertificate(unsigned int) - index '0' is out of bounds (0, -1)",
                messageOf(IndexOutOfBoundsException.class,
                        () -> PKCS11Slot.getCertificate(module, slot, attributeCertificate, 0)));
    }

    @Test
    void certificateListingNeedsSession() throws Exception {
        token.close();
        assertEquals("PKCS11Slot::getCertificates(unsigned long) - A session has not been opened !",
                failure(() -> PKCS11Slot.getNumberOfCertificates(module, slot, PKCS11Slot.CKC_X_509)));
        assertEquals("PKCS11Slot::getCertificates(unsigned long) - A session has not been opened !",
                failure(() -> PKCS11Slot.getCertificate(module, slot, PKCS11Slot.CKC_X_509, 0)));
    }

    @Test
    void objectsCarryHandleAndId() throws Exception {
        List<String> privateKeys = token.idsOf(PKCS11Slot.CKO_PRIVATE_KEY);
        assertTrue(privateKeys.contains("01"), privateKeys.toString());
        assertFalse(privateKeys.contains("02"), privateKeys.toString());
        List<String> certificates = token.idsOf(PKCS11Slot.CKO_CERTIFICATE);
        assertTrue(certificates.contains("01") && certificates.contains("02"), certificates.toString());
        PKCS11Object first = PKCS11Slot.getObject(module, slot, PKCS11Slot.CKO_PUBLIC_KEY, 0);
        assertTrue(first.getHandle() != 0);
    }

    @Test
    void objectIndexPastTheEndRaisesTheArraysIndexFailure() throws Exception {
        int n = PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_CERTIFICATE);
        int c = PKCS11Slot.CKO_CERTIFICATE;
        assertEquals("Array<T>::operator[](unsigned int) - index '" + (n + 3) + "' is out of bounds (0, " + (n - 1)
                + ")", messageOf(IndexOutOfBoundsException.class, () -> PKCS11Slot.getObject(module, slot, c, n + 3)));
        assertEquals("Array<T>::operator[](unsigned int) - index '-1' is out of bounds (0, " + (n - 1) + ")",
                messageOf(IndexOutOfBoundsException.class, () -> PKCS11Slot.getObject(module, slot, c, -1)));
    }

    @Test
    void dataObjectWithoutIdRaisesTheReadersFailure() throws Exception {
        assertTrue(PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_DATA) >= 1);
        assertEquals("PKCS11Attribute<ByteArray>::getAttribute(unsigned long, unsigned long) - Failed on call to "
                + "C_GetAttributeValue('258') - CKR_ATTRIBUTE_TYPE_INVALID",
                failure(() -> PKCS11Slot.getObject(module, slot, PKCS11Slot.CKO_DATA, 0)));
    }

    @Test
    void objectSearchWithoutSessionIsTheModulesAnswer() throws Exception {
        token.close();
        assertEquals("PKCS11Slot::findObjects(const PKCS11Attributes&) - Failed on call to C_FindObjectsInit() - "
                + "CKR_SESSION_HANDLE_INVALID",
                failure(() -> PKCS11Slot.getNumberOfObjects(module, slot, PKCS11Slot.CKO_CERTIFICATE)));
    }

    @Test
    void tokenInfoKeepsPaddingAndNeedsNoSession() throws Exception {
        token.close();
        assertFalse(PKCS11Slot.getSessionOpened(module, slot));
        PKCS11TokenInfo info = PKCS11Slot.getTokenInfo(module, slot);
        assertEquals(String.format("%-32s", E2eToken.LABEL), info.getLabel());
        assertEquals(String.format("%-32s", "SoftHSM project"), info.getManufacturerID());
        assertEquals(String.format("%-16s", "SoftHSM v2"), info.getModel());
        assertEquals(16, info.getSerialNumber().length());
        assertTrue(info.hasRNG());
        assertTrue(info.isLoginRequired());
        assertEquals(-1, info.getSessionCount(), "SoftHSM2 reports CK_UNAVAILABLE_INFORMATION");
        assertFalse(PKCS11Slot.getSessionOpened(module, slot));
    }

    @Test
    void tokenInfoOfBadSlotRaisesIndexOutOfBounds() {
        assertThrows(IndexOutOfBoundsException.class, () -> PKCS11Slot.getTokenInfo(module, 99));
        assertEquals("PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '4242' was not found",
                failure(() -> PKCS11Slot.getTokenInfo(4242, 0)));
    }

    @Test
    void deletingAnUnknownHandleNamesTheModulesAnswer() {
        assertEquals("PKCS11Slot::deleteObject(unsigned long) - Failed on call to C_DestroyObject() - "
                + "CKR_OBJECT_HANDLE_INVALID", failure(() -> PKCS11Slot.deleteObject(module, slot, 0x7ffffff0)));
    }

    @Test
    void deletingAnObjectByHandle() throws Exception {
        E2eToken.KeySet set = token.provisionKeySet();
        int handle = token.handleOf(PKCS11Slot.CKO_PUBLIC_KEY, set.id());
        assertTrue(PKCS11Slot.deleteObject(module, slot, handle));
        assertFalse(token.idsOf(PKCS11Slot.CKO_PUBLIC_KEY).contains(set.id()));
        assertTrue(token.idsOf(PKCS11Slot.CKO_PRIVATE_KEY).contains(set.id()));
        assertEquals("PKCS11Slot::deleteObject(unsigned long) - Failed on call to C_DestroyObject() - "
                + "CKR_OBJECT_HANDLE_INVALID", failure(() -> PKCS11Slot.deleteObject(module, slot, handle)));
        int certificateHandle = token.handleOf(PKCS11Slot.CKO_CERTIFICATE, set.id());
        token.close();
        assertEquals("PKCS11Slot::deleteObject(unsigned long) - A session has not been opened !",
                failure(() -> PKCS11Slot.deleteObject(module, slot, certificateHandle)));
        token.openAndLogin();
        PKCS11Slot.deleteCertificate(module, slot, PKCS11Slot.CKC_X_509, set.certificate(), false, true);
    }
}
