package orvane.tool;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/** The X.509 certificates of a token, fetched by index with a clear error for a missing one. */
final class TokenCertificates {
    private TokenCertificates() {
    }

    static int count(TokenSession session) throws PKCS11Exception {
        return PKCS11Slot.getNumberOfCertificates(session.moduleId(), session.slotIndex(), PKCS11Slot.CKC_X_509);
    }

    static byte[] get(TokenSession session, int index) throws PKCS11Exception, ToolException {
        int count = count(session);
        if (index >= count) {
            throw new ToolException("no certificate " + index + " on the token (it holds " + count
                    + " X.509 certificate" + (count == 1 ? "" : "s") + ")");
        }
        return PKCS11Slot.getCertificate(session.moduleId(), session.slotIndex(), PKCS11Slot.CKC_X_509, index);
    }
}
