// Natives of orvane/clapi/crypto/PKCS11Slot. Each resolves (module id, slot
// index), converts its Java arguments, calls the slot and converts back.
#include "jnibridge/JByteArray.h"
#include "jnibridge/JString.h"
#include "jnibridge/NativeMethodTable.h"
#include "pkcs11bridge/PKCS11JavaValues.h"
#include "pkcs11bridge/PKCS11NativeGuard.h"
#include "pkcs11bridge/PKCS11SlotCryptoNatives.h"
#include "pkcs11bridge/PKCS11SlotObjectNatives.h"

using JNIBridge::ByteArray;
using JNIBridge::String;
using namespace PKCS11Bridge;

namespace {

constexpr IndexFailure asIndexOutOfBounds = IndexFailure::raisedAsIndexOutOfBounds;
constexpr IndexFailure asPKCS11Exception = IndexFailure::raisedAsPKCS11Exception;

constexpr CK_FLAGS readWriteSession = CKF_RW_SESSION | CKF_SERIAL_SESSION;

String text(jstring value)
{
    return JNIBridge::JString(value).toString();
}

template <void (PKCS11Slot::*operation)()>
void JNICALL slotAction(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    pkcs11Native(asIndexOutOfBounds, [&] { ((*slotCall(moduleId, slotIndex)).*operation)(); });
}

template <bool (PKCS11Slot::*query)()>
jboolean JNICALL slotQuery(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    return pkcs11Native<jboolean>(JNI_FALSE, asIndexOutOfBounds,
                                  [&] { return ((*slotCall(moduleId, slotIndex)).*query)() ? JNI_TRUE : JNI_FALSE; });
}

void JNICALL openSession(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    pkcs11Native(asIndexOutOfBounds, [&] { slotCall(moduleId, slotIndex)->openSession(readWriteSession); });
}

void JNICALL login(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring pin, jint userType)
{
    pkcs11Native(asIndexOutOfBounds, [&] {
        const String pinText = text(pin);
        slotCall(moduleId, slotIndex)->login(pinText, ckULongOf(userType));
    });
}

void JNICALL setPIN(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring oldPin, jstring newPin)
{
    pkcs11Native(asIndexOutOfBounds, [&] {
        const String oldText = text(oldPin);
        const String newText = text(newPin);
        slotCall(moduleId, slotIndex)->setPIN(oldText, newText);
    });
}

void JNICALL initToken(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring soPin, jstring label)
{
    pkcs11Native(asPKCS11Exception, [&] {
        const String soPinText = text(soPin);
        const String labelText = text(label);
        slotCall(moduleId, slotIndex)->initToken(soPinText, labelText);
    });
}

void JNICALL initPIN(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring pin)
{
    pkcs11Native(asPKCS11Exception, [&] {
        const String pinText = text(pin);
        slotCall(moduleId, slotIndex)->initPIN(pinText);
    });
}

void JNICALL initTokenAndUserPIN(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring soPin, jstring label,
                                 jstring userPin)
{
    pkcs11Native(asPKCS11Exception, [&] {
        const String soPinText = text(soPin);
        const String labelText = text(label);
        const String userPinText = text(userPin);
        slotCall(moduleId, slotIndex)->initTokenAndUserPIN(soPinText, labelText, userPinText);
    });
}

void JNICALL digestInit(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint mechanism)
{
    pkcs11Native(asIndexOutOfBounds, [&] { slotCall(moduleId, slotIndex)->digestInit(ckULongOf(mechanism)); });
}

void JNICALL digestUpdate(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray data)
{
    pkcs11Native(asIndexOutOfBounds, [&] {
        const ByteArray part = bytesOf(data);
        slotCall(moduleId, slotIndex)->digestUpdate(part);
    });
}

jbyteArray JNICALL digestFinal(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    return pkcs11Native<jbyteArray>(nullptr, asPKCS11Exception, [&] {
        const ByteArray digest = slotCall(moduleId, slotIndex)->digestFinal();
        return javaBytesOf(digest);
    });
}

void JNICALL seedRandom(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray seed)
{
    pkcs11Native(asPKCS11Exception, [&] {
        const ByteArray seedBytes = bytesOf(seed);
        slotCall(moduleId, slotIndex)->seedRandom(seedBytes);
    });
}

jbyteArray JNICALL generateRandom(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint length)
{
    return pkcs11Native<jbyteArray>(nullptr, asIndexOutOfBounds, [&] {
        // A negative length arrives above 0x7FFFFFFF, which the slot refuses.
        const ByteArray random = slotCall(moduleId, slotIndex)->generateRandom(static_cast<unsigned int>(length));
        return javaBytesOf(random);
    });
}

using JNIBridge::entry;

// In registration order, one row per native.
const JNIBridge::NativeMethodRow rows[] = {
    {"openSession", "(II)V", entry(&openSession)},
    {"closeSession", "(II)V", entry(&slotAction<&PKCS11Slot::closeSession>)},
    {"getSessionOpened", "(II)Z", entry(&slotQuery<&PKCS11Slot::getSessionOpened>)},
    {"closeAllSessions", "(II)V", entry(&slotAction<&PKCS11Slot::closeAllSessions>)},
    {"login", "(IILjava/lang/String;I)V", entry(&login)},
    {"logout", "(II)V", entry(&slotAction<&PKCS11Slot::logout>)},
    {"setPIN", "(IILjava/lang/String;Ljava/lang/String;)V", entry(&setPIN)},
    {"tokenPresent", "(II)Z", entry(&slotQuery<&PKCS11Slot::tokenPresent>)},
    {"getTokenInfo", "(II)Lorvane/clapi/crypto/PKCS11TokenInfo;", entry(&PKCS11Slot_getTokenInfo)},
    {"getNumberOfCertificates", "(III)I", entry(&PKCS11Slot_getNumberOfCertificates)},
    {"getCertificate", "(IIII)[B", entry(&PKCS11Slot_getCertificate)},
    {"deleteCertificate", "(III[BZZ)Z", entry(&PKCS11Slot_deleteCertificate)},
    {"getNumberOfObjects", "(III)I", entry(&PKCS11Slot_getNumberOfObjects)},
    {"getObject", "(IIII)Lorvane/clapi/crypto/PKCS11Object;", entry(&PKCS11Slot_getObject)},
    {"deleteObject", "(III)Z", entry(&PKCS11Slot_deleteObject)},
    {"initToken", "(IILjava/lang/String;Ljava/lang/String;)V", entry(&initToken)},
    {"initPIN", "(IILjava/lang/String;)V", entry(&initPIN)},
    {"initTokenAndUserPIN", "(IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)V", entry(&initTokenAndUserPIN)},
    {"digestInit", "(III)V", entry(&digestInit)},
    {"digestUpdate", "(II[B)V", entry(&digestUpdate)},
    {"digestFinal", "(II)[B", entry(&digestFinal)},
    {"seedRandom", "(II[B)V", entry(&seedRandom)},
    {"generateRandom", "(III)[B", entry(&generateRandom)},
    {"setCall2ndInit", "(IIZ)V", entry(&PKCS11Slot_setCall2ndInit)},
    {"encryptData", "(II[B[BI)[B", entry(&PKCS11Slot_encryptData)},
    {"decryptData", "(II[B[BI)[B", entry(&PKCS11Slot_decryptData)},
    {"signData", "(II[B[BI)[B", entry(&PKCS11Slot_signData)},
    {"verifyData", "(II[B[B[BI)Z", entry(&PKCS11Slot_verifyData)},
    {"unwrapKey", "(II[B[BI)[B", entry(&PKCS11Slot_unwrapKey)},
};

} // namespace

const JNIBridge::NativeClassRows pkcs11SlotNatives = {"orvane/clapi/crypto/PKCS11Slot", rows,
                                                      sizeof rows / sizeof rows[0]};
