// Listing and deleting the certificates and objects of the slot's token.
#include "pkcs11bridge/PKCS11Slot.h"

#include "pkcs11bridge/PKCS11Attribute.h"
#include "pkcs11bridge/PKCS11Exception.h"

using JNIBridge::ByteArray;
using JNIBridge::LongArray;
using JNIBridge::SmartPointer;

namespace PKCS11Bridge {

Certificates PKCS11Slot::getCertificates(unsigned long certificateType)
{
    requireSession("PKCS11Slot::getCertificates(unsigned long) - A session has not been opened !");
    try {
        const CK_ULONG classValue = CKO_CERTIFICATE;
        const CK_ULONG typeValue = certificateType;
        const PKCS11Attribute<unsigned long> classAttribute(CKA_CLASS, &classValue);
        const PKCS11Attribute<unsigned long> typeAttribute(CKA_CERTIFICATE_TYPE, &typeValue);
        const LongArray handles = findObjects(PKCS11Attributes().add(classAttribute).add(typeAttribute));
        Certificates certificates;
        for (unsigned int i = 0; i < handles.length(); ++i) {
            const CK_OBJECT_HANDLE handle = handles[i];
            const ByteArray id = PKCS11Attribute<ByteArray>::getAttribute(this, handle, CKA_ID);
            const ByteArray value = PKCS11Attribute<ByteArray>::getAttribute(this, handle, CKA_VALUE);
            certificates.add(Certificate(value, handle, id));
        }
        return certificates;
    } catch (const PKCS11Exception& failure) {
        throwWithContext("PKCS11Slot::getCertificates(unsigned long) - ", failure);
    }
}

// Keys first, the certificate last; a failure stops the rest, and what was
// already deleted stays deleted.
void PKCS11Slot::deleteCertificate(const Certificate& certificate, bool deletePublicKey, bool deletePrivateKey)
{
    if (deletePublicKey) {
        const SmartPointer<PublicKey> key = findPublicKey(certificate);
        if (key) {
            deleteObject(key->getHandle());
        }
    }
    if (deletePrivateKey) {
        const SmartPointer<PrivateKey> key = findPrivateKey(certificate);
        if (key) {
            deleteObject(key->getHandle());
        }
    }
    deleteObject(certificate.getHandle());
}

void PKCS11Slot::deleteObject(unsigned long handle)
{
    requireSession("PKCS11Slot::deleteObject(unsigned long) - A session has not been opened !");
    const CK_RV rv = functionList_->C_DestroyObject(sessionId_, handle);
    if (rv != CKR_OK) {
        throwSessionCallFailure("PKCS11Slot::deleteObject(unsigned long) - Failed on call to C_DestroyObject()", rv);
    }
}

} // namespace PKCS11Bridge
