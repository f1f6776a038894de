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

constexpr IndexFailure kAsIndexOutOfBounds = IndexFailure::raisedAsIndexOutOfBounds;

// The X.509 certificate on the slot's token with these bytes; its absence is
// reported under the native's own name.
Certificate x509Certificate(PKCS11Slot& slot, const ByteArray& encoded, const char* nativeName)
{
    const SmartPointer<Certificate> found = slot.findCertificate(CKC_X_509, encoded);
    if (!found) {
        throw PKCS11Exception(String(nativeName).append(" - The Certificate cannot be found"));
    }
    return *found;
}

using SinglePartMember = ByteArray (PKCS11Slot::*)(const Certificate&, const ByteArray&, unsigned long);

// The lookup and the operation run under one hold of the module's lock.
ByteArray runWithCertificate(const char* nativeName, SinglePartMember member, jint moduleId, jint slotIndex,
                             const ByteArray& certificate, const ByteArray& input, jint mechanism)
{
    const PKCS11SlotCall slot = slotCall(moduleId, slotIndex);
    const Certificate found = x509Certificate(*slot, certificate, nativeName);
    return ((*slot).*member)(found, input, ckULongOf(mechanism));
}

jbyteArray singlePart(const char* nativeName, SinglePartMember member, jint moduleId, jint slotIndex,
                      jbyteArray certificate, jbyteArray input, jint mechanism)
{
    return pkcs11Native<jbyteArray>(nullptr, kAsIndexOutOfBounds, [&] {
        const ByteArray certificateBytes = bytesOf(certificate);
        const ByteArray inputBytes = bytesOf(input);
        const ByteArray output =
            runWithCertificate(nativeName, member, moduleId, slotIndex, certificateBytes, inputBytes, mechanism);
        return javaBytesOf(output);
    });
}

} // namespace

// PKCS11Slot.setCall2ndInit(int moduleId, int slotIndex, boolean call2ndInit): void
// (IIZ)V, static
// moduleId, slotIndex: the slot; call2ndInit: init again between the length query and the call
void JNICALL PKCS11Slot_setCall2ndInit(JNIEnv*, jclass, jint moduleId, jint slotIndex, jboolean call2ndInit)
{
    pkcs11Native(kAsIndexOutOfBounds, [&] { slotCall(moduleId, slotIndex)->setCall2ndInit(call2ndInit != JNI_FALSE); });
}

// PKCS11Slot.encryptData(int moduleId, int slotIndex, byte[] certificate, byte[] data, int mechanism): byte[]
// (II[B[BI)[B, static
// moduleId, slotIndex: the slot; certificate: X.509 encoding naming the key; mechanism: CK_MECHANISM_TYPE
jbyteArray JNICALL PKCS11Slot_encryptData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                          jbyteArray data, jint mechanism)
{
    return singlePart("PKCS11Slot_encryptData()", &PKCS11Slot::encryptData, moduleId, slotIndex, certificate, data,
                      mechanism);
}

// PKCS11Slot.decryptData(int moduleId, int slotIndex, byte[] certificate, byte[] data, int mechanism): byte[]
// (II[B[BI)[B, static
// moduleId, slotIndex: the slot; certificate: X.509 encoding naming the key; data: the cipher text
jbyteArray JNICALL PKCS11Slot_decryptData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                          jbyteArray cipherText, jint mechanism)
{
    return singlePart("PKCS11Slot_decryptData()", &PKCS11Slot::decryptData, moduleId, slotIndex, certificate,
                      cipherText, mechanism);
}

// PKCS11Slot.signData(int moduleId, int slotIndex, byte[] certificate, byte[] data, int mechanism): byte[]
// (II[B[BI)[B, static
// moduleId, slotIndex: the slot; certificate: X.509 encoding naming the key; mechanism: CK_MECHANISM_TYPE
jbyteArray JNICALL PKCS11Slot_signData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                       jbyteArray data, jint mechanism)
{
    return singlePart("PKCS11Slot_signData()", &PKCS11Slot::signData, moduleId, slotIndex, certificate, data,
                      mechanism);
}

// PKCS11Slot.unwrapKey(int moduleId, int slotIndex, byte[] certificate, byte[] wrappedKey, int mechanism): byte[]
// (II[B[BI)[B, static
// moduleId, slotIndex: the slot; certificate: X.509 encoding naming the key; returns the key bytes
jbyteArray JNICALL PKCS11Slot_unwrapKey(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                        jbyteArray wrappedKey, jint mechanism)
{
    return singlePart("PKCS11Slot_unwrapKey()", &PKCS11Slot::unwrapKey, moduleId, slotIndex, certificate, wrappedKey,
                      mechanism);
}

// PKCS11Slot.verifyData(int moduleId, int slotIndex, byte[] certificate, byte[] data, byte[] signature,
//                       int mechanism): boolean
// (II[B[B[BI)Z, static
// moduleId, slotIndex: the slot; certificate: X.509 encoding naming the key; returns whether it verifies
jboolean JNICALL PKCS11Slot_verifyData(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray certificate,
                                       jbyteArray data, jbyteArray signature, jint mechanism)
{
    return pkcs11Native<jboolean>(JNI_FALSE, kAsIndexOutOfBounds, [&] {
        const ByteArray certificateBytes = bytesOf(certificate);
        const ByteArray signatureBytes = bytesOf(signature);
        const ByteArray dataBytes = bytesOf(data);
        const PKCS11SlotCall slot = slotCall(moduleId, slotIndex);
        const Certificate found = x509Certificate(*slot, certificateBytes, "PKCS11Slot_verifyData()");
        return slot->verifyData(found, dataBytes, signatureBytes, ckULongOf(mechanism)) ? JNI_TRUE : JNI_FALSE;
    });
}

} // namespace PKCS11Bridge
