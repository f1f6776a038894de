// Object search in the slot's session: templates, certificates and the keys
// that share a certificate's CKA_ID.
#include "pkcs11bridge/PKCS11Slot.h"

#include "pkcs11bridge/PKCS11Attribute.h"
#include "pkcs11bridge/PKCS11Exception.h"

using JNIBridge::ByteArray;
using JNIBridge::LongArray;
using JNIBridge::SmartPointer;
using JNIBridge::String;

namespace PKCS11Bridge {

// What differs between looking up a certificate's public and private key.
struct PKCS11Slot::KeySearch {
    const char* noSessionMessage;
    CK_OBJECT_CLASS keyClass;
    // Read only for RSA keys; other key types are taken not to support it.
    CK_ATTRIBUTE_TYPE rsaOnlyFlag;
    CK_ATTRIBUTE_TYPE flag;
};

namespace {

CK_ATTRIBUTE_PTR recordsOf(const SmartPointer<void>& records)
{
    return static_cast<CK_ATTRIBUTE_PTR>(records.get());
}

} // namespace

CK_OBJECT_HANDLE PKCS11Slot::findObject(const PKCS11Attributes& attributes)
{
    const SmartPointer<void> records = attributes.toTemplate();
    CK_RV rv = functionList_->C_FindObjectsInit(sessionId_, recordsOf(records), attributes.count());
    if (rv != CKR_OK) {
        throwSessionCallFailure(
            "PKCS11Slot::findObject(const PKCS11Attributes&) - Failed on call to C_FindObjectsInit()", rv);
    }
    CK_OBJECT_HANDLE handle = CK_INVALID_HANDLE;
    CK_ULONG found = 0;
    rv = functionList_->C_FindObjects(sessionId_, &handle, 1, &found);
    if (rv != CKR_OK) {
        throwSessionCallFailure(
            "PKCS11Slot::findSingleObject(const PKCS11Attributes&) - Failed on call to C_FindObjects()", rv);
    }
    rv = functionList_->C_FindObjectsFinal(sessionId_);
    if (rv != CKR_OK) {
        throwSessionCallFailure(
            "PKCS11Slot::findSingleObject(const PKCS11Attributes&) - Failed on call to C_FindObjectsFinal()", rv);
    }
    return found == 1 ? handle : CK_INVALID_HANDLE;
}

// One handle per C_FindObjects call until the module has no more.
LongArray PKCS11Slot::findObjects(const PKCS11Attributes& attributes)
{
    const SmartPointer<void> records = attributes.toTemplate();
    CK_RV rv = functionList_->C_FindObjectsInit(sessionId_, recordsOf(records), attributes.count());
    if (rv != CKR_OK) {
        throwSessionCallFailure(
            "PKCS11Slot::findObjects(const PKCS11Attributes&) - Failed on call to C_FindObjectsInit()", rv);
    }
    LongArray handles;
    for (;;) {
        CK_OBJECT_HANDLE handle = CK_INVALID_HANDLE;
        CK_ULONG found = 0;
        rv = functionList_->C_FindObjects(sessionId_, &handle, 1, &found);
        if (rv != CKR_OK) {
            throwSessionCallFailure(
                "PKCS11Slot::findObjects(const PKCS11Attributes&) - Failed on call to C_FindObjects()", rv);
        }
        if (found == 0) {
            break;
        }
        handles.append(handle);
    }
    rv = functionList_->C_FindObjectsFinal(sessionId_);
    if (rv != CKR_OK) {
        throwSessionCallFailure(
            "PKCS11Slot::findObjects(const PKCS11Attributes&) - Failed on call to C_FindObjectsFinal()", rv);
    }
    return handles;
}

LongArray PKCS11Slot::findObjectsByClass(unsigned long objectClass)
{
    const CK_ULONG classValue = objectClass;
    const PKCS11Attribute<unsigned long> classAttribute(CKA_CLASS, &classValue);
    return findObjects(PKCS11Attributes().add(classAttribute));
}

CK_OBJECT_HANDLE PKCS11Slot::findKey(unsigned long keyClass, const ByteArray& id)
{
    requireSession("PKCS11Slot::findKey(unsigned long, const ByteArray&) - A session has not been opened !");
    const CK_ULONG classValue = keyClass;
    const PKCS11Attribute<unsigned long> classAttribute(CKA_CLASS, &classValue);
    const PKCS11Attribute<ByteArray> idAttribute(CKA_ID, id);
    return findObject(PKCS11Attributes().add(classAttribute).add(idAttribute));
}

void PKCS11Slot::throwWithContext(const char* prefix, const PKCS11Exception& failure)
{
    forgetSessionIfLost(failure.getReturnValue());
    throw PKCS11Exception(String(prefix).append(failure.getMessage()));
}

SmartPointer<Certificate> PKCS11Slot::findCertificate(unsigned long certificateType, const ByteArray& value)
{
    requireSession("PKCS11Slot::findCertificate(unsigned long, const ByteArray&) - A session has not been opened !");
    try {
        const CK_ULONG classValue = CKO_CERTIFICATE;
        const CK_ULONG typeValue = certificateType;
        const PKCS11Attribute<unsigned long> classAttribute(CKA_CLASS, &classValue);
        const PKCS11Attribute<unsigned long> typeAttribute(CKA_CERTIFICATE_TYPE, &typeValue);
        const PKCS11Attribute<ByteArray> valueAttribute(CKA_VALUE, value);
        const CK_OBJECT_HANDLE handle =
            findObject(PKCS11Attributes().add(classAttribute).add(typeAttribute).add(valueAttribute));
        if (handle == CK_INVALID_HANDLE) {
            return SmartPointer<Certificate>();
        }
        const ByteArray id = PKCS11Attribute<ByteArray>::getAttribute(this, handle, CKA_ID);
        return SmartPointer<Certificate>(new Certificate(value, handle, id));
    } catch (const PKCS11Exception& failure) {
        throwWithContext("PKCS11Slot::findCertificate(const ByteArray&) - ", failure);
    }
}

template <typename Key>
SmartPointer<Key> PKCS11Slot::findKeyOf(const Certificate& certificate, const KeySearch& search)
{
    requireSession(search.noSessionMessage);
    const ByteArray id = PKCS11Attribute<ByteArray>::getAttribute(this, certificate.getHandle(), CKA_ID);
    const CK_OBJECT_HANDLE keyHandle = findKey(search.keyClass, id);
    if (keyHandle == CK_INVALID_HANDLE) {
        return SmartPointer<Key>();
    }
    const CK_KEY_TYPE keyType = PKCS11Attribute<unsigned long>::getAttribute(this, keyHandle, CKA_KEY_TYPE);
    const bool rsaOnlyFlag =
        keyType == CKK_RSA && PKCS11Attribute<bool>::getAttribute(this, keyHandle, search.rsaOnlyFlag);
    const bool flag = PKCS11Attribute<bool>::getAttribute(this, keyHandle, search.flag);
    return SmartPointer<Key>(new Key(id, keyHandle, rsaOnlyFlag, flag));
}

SmartPointer<PublicKey> PKCS11Slot::findPublicKey(const Certificate& certificate)
{
    static const KeySearch kSearch = {"PKCS11Slot::findPublicKey(const Certificate&) - A session has not been opened !",
                                      CKO_PUBLIC_KEY, CKA_ENCRYPT, CKA_VERIFY};
    return findKeyOf<PublicKey>(certificate, kSearch);
}

SmartPointer<PrivateKey> PKCS11Slot::findPrivateKey(const Certificate& certificate)
{
    static const KeySearch kSearch = {
        "PKCS11Slot::findPrivateKey(const Certificate&) - A session has not been opened !", CKO_PRIVATE_KEY,
        CKA_DECRYPT, CKA_SIGN};
    return findKeyOf<PrivateKey>(certificate, kSearch);
}

} // namespace PKCS11Bridge
