// Natives that run the token's cryptography with the keys of a certificate
// named by its encoded bytes.
#include "pkcs11bridge/PKCS11SlotCryptoNatives.h"

#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11JavaValues.h"
#include "pkcs11bridge/PKCS11NativeGuard.h"

using JNIBridge::ByteArray;
using JNIBridge::SmartPointer;
using JNIBridge::String;

namespace PKCS11Bridge {

namespace {

constexpr IndexFailure asIndexOutOfBounds = IndexFailure::raisedAsIndexOutOfBounds;

// The X.509 certificate on the slot's token with these bytes; its absence is
// reported under the native's own name.
Certificate x509Certificate(jint moduleId, jint slotIndex, jbyteArray encoded, const char* nativeName)
{
    const SmartPointer<Certificate> found =
        resolveSlot(moduleId, slotIndex)->findCertificate(CKC_X_509, bytesOf(encoded));
    if (!found) {
        throw PKCS11Exception(String(nativeName).append(" - The Certificate cannot be found"));
    }
    return *found;
}

using SinglePartMember = ByteArray (PKCS11Slot::*)(const Certificate&, const ByteArray&, unsigned long);

jbyteArray singlePart(const char* nativeName, SinglePartMember member, jint moduleId, jint slotIndex,
                      jbyteArray certificate, jbyteArray input, jint mechanism)
{
    return pkcs11Native<jbyteArray>(nullptr, asIndexOutOfBounds, [&] {
        const Certificate found = x509Certificate(moduleId, slotIndex, certificate, nativeName);
        const ByteArray inputBytes = bytesOf(input);
        const std::shared_ptr<PKCS11Slot> slot = resolveSlot(moduleId, slotIndex);
        return javaBytesOf(((*slot).*member)(found, inputBytes, ckULongOf(mechanism)));
    });
}

} // namespace

void JNICALL PKCS11Slot_setCall2ndInit(JNIEnv*, jclass, jint moduleId, jint slotIndex, jboolean call2ndInit)
{
    pkcs11Native(asIndexOutOfBounds,
                 [&] { resolveSlot(moduleId, slotIndex)->setCall2ndInit(call2ndInit != JNI_FALSE); });
}

jbyteArray JNICALL PKCS11Slot_encryptData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                          jbyteArray data, jint mechanism)
{
    return singlePart("PKCS11Slot_encryptData()", &PKCS11Slot::encryptData, moduleId, slotIndex, certificate, data,
                      mechanism);
}

jbyteArray JNICALL PKCS11Slot_decryptData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                          jbyteArray cipherText, jint mechanism)
{
    return singlePart("PKCS11Slot_decryptData()", &PKCS11Slot::decryptData, moduleId, slotIndex, certificate,
                      cipherText, mechanism);
}

jbyteArray JNICALL PKCS11Slot_signData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                       jbyteArray data, jint mechanism)
{
    return singlePart("PKCS11Slot_signData()", &PKCS11Slot::signData, moduleId, slotIndex, certificate, data,
                      mechanism);
}

jbyteArray JNICALL PKCS11Slot_unwrapKey(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                        jbyteArray wrappedKey, jint mechanism)
{
    return singlePart("PKCS11Slot_unwrapKey()", &PKCS11Slot::unwrapKey, moduleId, slotIndex, certificate, wrappedKey,
                      mechanism);
}

jboolean JNICALL PKCS11Slot_verifyData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                       jbyteArray data, jbyteArray signature, jint mechanism)
{
    return pkcs11Native<jboolean>(JNI_FALSE, asIndexOutOfBounds, [&] {
        const Certificate found = x509Certificate(moduleId, slotIndex, certificate, "PKCS11Slot_verifyData()");
        const ByteArray signatureBytes = bytesOf(signature);
        const ByteArray dataBytes = bytesOf(data);
        return resolveSlot(moduleId, slotIndex)->verifyData(found, dataBytes, signatureBytes, ckULongOf(mechanism)) ? JNI_TRUE : JNI_FALSE;
    });
}

} // namespace PKCS11Bridge
