// Natives of orvane/clapi/crypto/PKCS11Slot. Each resolves (module id, slot
// index), converts its Java arguments, calls the slot and converts back.
#include "jnibridge/JByteArray.h"
#include "jnibridge/JString.h"
#include "jnibridge/NativeMethodTable.h"
#include "pkcs11bridge/PKCS11SlotTable.h"
#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11JavaValues.h"
#include "pkcs11bridge/PKCS11NativeGuard.h"
#include "pkcs11bridge/PKCS11SlotCryptoNatives.h"
#include "pkcs11bridge/PKCS11SlotObjectNatives.h"

using JNIBridge::ByteArray;
using JNIBridge::String;
using namespace PKCS11Bridge;

namespace {

constexpr IndexFailure kAsIndexOutOfBounds = IndexFailure::raisedAsIndexOutOfBounds;
constexpr IndexFailure kAsPKCS11Exception = IndexFailure::raisedAsPKCS11Exception;

constexpr CK_FLAGS kReadWriteSession = CKF_RW_SESSION | CKF_SERIAL_SESSION;

String text(jstring value)
{
    return JNIBridge::JString(value).toString();
}

template <void (PKCS11Slot::*operation)()>
void JNICALL slotAction(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    pkcs11Native(kAsIndexOutOfBounds, [&] { ((*slotCall(moduleId, slotIndex)).*operation)(); });
}

template <bool (PKCS11Slot::*query)()>
jboolean JNICALL slotQuery(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    return pkcs11Native<jboolean>(JNI_FALSE, kAsIndexOutOfBounds,
                                  [&] { return ((*slotCall(moduleId, slotIndex)).*query)() ? JNI_TRUE : JNI_FALSE; });
}

// PKCS11Slot.openSession(int moduleId, int slotIndex): void
// (II)V, static
// moduleId, slotIndex: the slot
//
// A write-protected token refuses a read-write session, as the standard says
// it must (p11-kit's trust module, read-only cards); a read-only one still
// lets it be searched and used, and its writes fail with the module's
// CKR_SESSION_READ_ONLY.
void JNICALL PKCS11Slot_openSession(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    pkcs11Native(kAsIndexOutOfBounds, [&] {
        const auto slot = slotCall(moduleId, slotIndex);
        try {
            slot->openSession(kReadWriteSession);
        } catch (const PKCS11Exception& refused) {
            if (refused.getReturnValue() != CKR_TOKEN_WRITE_PROTECTED) {
                throw;
            }
            slot->openSession(CKF_SERIAL_SESSION);
        }
    });
}

// PKCS11Slot.login(int moduleId, int slotIndex, String pin, int userType): void
// (IILjava/lang/String;I)V, static
// moduleId, slotIndex: the slot; pin: C_Login's pPin, in a wiped String; userType: its CK_USER_TYPE
void JNICALL PKCS11Slot_login(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring pin, jint userType)
{
    pkcs11Native(kAsIndexOutOfBounds, [&] {
        const String pinText = text(pin);
        slotCall(moduleId, slotIndex)->login(pinText, ckULongOf(userType));
    });
}

// PKCS11Slot.setPIN(int moduleId, int slotIndex, String oldPin, String newPin): void
// (IILjava/lang/String;Ljava/lang/String;)V, static
// moduleId, slotIndex: the slot; oldPin, newPin: C_SetPIN's, in wiped Strings
void JNICALL PKCS11Slot_setPIN(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring oldPin, jstring newPin)
{
    pkcs11Native(kAsIndexOutOfBounds, [&] {
        const String oldText = text(oldPin);
        const String newText = text(newPin);
        slotCall(moduleId, slotIndex)->setPIN(oldText, newText);
    });
}

// PKCS11Slot.initToken(int moduleId, int slotIndex, String soPin, String label): void
// (IILjava/lang/String;Ljava/lang/String;)V, static
// moduleId, slotIndex: the slot; soPin: in a wiped String; label: C_InitToken's
void JNICALL PKCS11Slot_initToken(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring soPin, jstring label)
{
    pkcs11Native(kAsPKCS11Exception, [&] {
        const String soPinText = text(soPin);
        const String labelText = text(label);
        slotCall(moduleId, slotIndex)->initToken(soPinText, labelText);
    });
}

// PKCS11Slot.initPIN(int moduleId, int slotIndex, String pin): void
// (IILjava/lang/String;)V, static
// moduleId, slotIndex: the slot; pin: C_InitPIN's, in a wiped String
void JNICALL PKCS11Slot_initPIN(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring pin)
{
    pkcs11Native(kAsPKCS11Exception, [&] {
        const String pinText = text(pin);
        slotCall(moduleId, slotIndex)->initPIN(pinText);
    });
}

// PKCS11Slot.initTokenAndUserPIN(int moduleId, int slotIndex, String soPin, String label, String userPin): void
// (IILjava/lang/String;Ljava/lang/String;Ljava/lang/String;)V, static
// moduleId, slotIndex: the slot; soPin, userPin: in wiped Strings; label: C_InitToken's
void JNICALL PKCS11Slot_initTokenAndUserPIN(JNIEnv*, jclass, jint moduleId, jint slotIndex, jstring soPin,
                                            jstring label, jstring userPin)
{
    pkcs11Native(kAsPKCS11Exception, [&] {
        const String soPinText = text(soPin);
        const String labelText = text(label);
        const String userPinText = text(userPin);
        slotCall(moduleId, slotIndex)->initTokenAndUserPIN(soPinText, labelText, userPinText);
    });
}

// PKCS11Slot.digestInit(int moduleId, int slotIndex, int mechanism): void
// (III)V, static
// moduleId, slotIndex: the slot; mechanism: CK_MECHANISM_TYPE, zero-extended
void JNICALL PKCS11Slot_digestInit(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint mechanism)
{
    pkcs11Native(kAsIndexOutOfBounds, [&] { slotCall(moduleId, slotIndex)->digestInit(ckULongOf(mechanism)); });
}

// PKCS11Slot.digestUpdate(int moduleId, int slotIndex, byte[] data): void
// (II[B)V, static
// moduleId, slotIndex: the slot; data: the part, copied (null reads as empty)
void JNICALL PKCS11Slot_digestUpdate(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray data)
{
    pkcs11Native(kAsIndexOutOfBounds, [&] {
        const ByteArray part = bytesOf(data);
        slotCall(moduleId, slotIndex)->digestUpdate(part);
    });
}

// PKCS11Slot.digestFinal(int moduleId, int slotIndex): byte[]
// (II)[B, static
// moduleId, slotIndex: the slot; returns the digest
jbyteArray JNICALL PKCS11Slot_digestFinal(JNIEnv*, jclass, jint moduleId, jint slotIndex)
{
    return pkcs11Native<jbyteArray>(nullptr, kAsPKCS11Exception, [&] {
        const ByteArray digest = slotCall(moduleId, slotIndex)->digestFinal();
        return javaBytesOf(digest);
    });
}

// PKCS11Slot.seedRandom(int moduleId, int slotIndex, byte[] seed): void
// (II[B)V, static
// moduleId, slotIndex: the slot; seed: C_SeedRandom's, copied
void JNICALL PKCS11Slot_seedRandom(JNIEnv*, jclass, jint moduleId, jint slotIndex, jbyteArray seed)
{
    pkcs11Native(kAsPKCS11Exception, [&] {
        const ByteArray seedBytes = bytesOf(seed);
        slotCall(moduleId, slotIndex)->seedRandom(seedBytes);
    });
}

// PKCS11Slot.generateRandom(int moduleId, int slotIndex, int length): byte[]
// (III)[B, static
// moduleId, slotIndex: the slot; length: bytes wanted; returns them
jbyteArray JNICALL PKCS11Slot_generateRandom(JNIEnv*, jclass, jint moduleId, jint slotIndex, jint length)
{
    return pkcs11Native<jbyteArray>(nullptr, kAsIndexOutOfBounds, [&] {
        // A negative length arrives above 0x7FFFFFFF, which the slot refuses.
        const ByteArray random = slotCall(moduleId, slotIndex)->generateRandom(static_cast<unsigned int>(length));
        return javaBytesOf(random);
    });
}

// PKCS11Slot.closeSession(int moduleId, int slotIndex): void
// (II)V, static
// moduleId, slotIndex: the slot
//
// Natives that call one slot member and nothing else, named as the others.
constexpr auto& PKCS11Slot_closeSession = slotAction<&PKCS11Slot::closeSession>;
// PKCS11Slot.getSessionOpened(int moduleId, int slotIndex): boolean
// (II)Z, static
// moduleId, slotIndex: the slot; returns whether it holds a session
constexpr auto& PKCS11Slot_getSessionOpened = slotQuery<&PKCS11Slot::getSessionOpened>;
// PKCS11Slot.closeAllSessions(int moduleId, int slotIndex): void
// (II)V, static
// moduleId, slotIndex: the slot
constexpr auto& PKCS11Slot_closeAllSessions = slotAction<&PKCS11Slot::closeAllSessions>;
// PKCS11Slot.logout(int moduleId, int slotIndex): void
// (II)V, static
// moduleId, slotIndex: the slot
constexpr auto& PKCS11Slot_logout = slotAction<&PKCS11Slot::logout>;
// PKCS11Slot.tokenPresent(int moduleId, int slotIndex): boolean
// (II)Z, static
// moduleId, slotIndex: the slot
constexpr auto& PKCS11Slot_tokenPresent = slotQuery<&PKCS11Slot::tokenPresent>;

const JNIBridge::NativeMethodRow rows[] = {ORV_PKCS11_SLOT_NATIVES(ORV_REGISTRATION_ROW)};

} // namespace

const JNIBridge::NativeClassRows pkcs11SlotNatives = {ORV_PKCS11_SLOT_CLASS, rows, sizeof rows / sizeof rows[0]};
