// One slot of a loaded module that held a token at the last slot list, with
// the single session every operation on that slot shares.
#ifndef ORV_PKCS11BRIDGE_PKCS11SLOT_H
#define ORV_PKCS11BRIDGE_PKCS11SLOT_H

#include "jnibridge/ByteArray.h"
#include "jnibridge/LongArray.h"
#include "jnibridge/SmartPointer.h"
#include "jnibridge/String.h"
#include "pkcs11bridge/Certificate.h"
#include "pkcs11bridge/Certificates.h"
#include "pkcs11bridge/Cryptoki.h"
#include "pkcs11bridge/PKCS11Attributes.h"
#include "pkcs11bridge/PrivateKey.h"
#include "pkcs11bridge/PublicKey.h"

#include <atomic>

namespace PKCS11Bridge {

class PKCS11Exception;

class PKCS11Slot {
public:
    // The function list belongs to the module, which outlives its slots.
    PKCS11Slot(CK_FUNCTION_LIST_PTR functionList, CK_SLOT_ID slotID);
    PKCS11Slot(const PKCS11Slot&) = delete;
    PKCS11Slot& operator=(const PKCS11Slot&) = delete;

    CK_FUNCTION_LIST_PTR getFunctionList() const noexcept { return functionList_; }
    CK_SLOT_ID getSlotID() const noexcept { return slotID_; }
    CK_SESSION_HANDLE getSessionId() const noexcept { return sessionId_; }
    bool getCall2ndInit() const noexcept { return call2ndInit_; }
    void setCall2ndInit(bool value) noexcept { call2ndInit_ = value; }

    // Sessions, login and PINs (PKCS11Slot.cpp).
    bool tokenPresent();
    bool getSessionOpened();
    void openSession(CK_FLAGS flags);
    void closeSession();
    void closeAllSessions();
    // For a slot being dropped: closes its session, if it counts one as open,
    // without first asking for the token and whatever the module answers (the
    // slot may be gone).
    void abandonSession() noexcept;
    void login(const JNIBridge::String& pin, CK_USER_TYPE userType);
    void logout();
    void setPIN(const JNIBridge::String& oldPin, const JNIBridge::String& newPin);
    void initToken(const JNIBridge::String& soPin, const JNIBridge::String& label);
    void initPIN(const JNIBridge::String& pin);
    void initTokenAndUserPIN(const JNIBridge::String& soPin, const JNIBridge::String& label,
                             const JNIBridge::String& userPin);

    // Digest and random (PKCS11SlotDigest.cpp).
    void digestInit(unsigned long mechanism);
    void digestUpdate(const JNIBridge::ByteArray& data);
    JNIBridge::ByteArray digestFinal();
    void seedRandom(const JNIBridge::ByteArray& seed);
    JNIBridge::ByteArray generateRandom(unsigned int length);

    // Attributes and object search (PKCS11SlotSearch.cpp). Not found is 0 or
    // an empty pointer, never an exception.
    CK_OBJECT_HANDLE findObject(const PKCS11Attributes& attributes);
    JNIBridge::LongArray findObjects(const PKCS11Attributes& attributes);
    JNIBridge::LongArray findObjectsByClass(unsigned long objectClass);
    CK_OBJECT_HANDLE findKey(unsigned long keyClass, const JNIBridge::ByteArray& id);
    JNIBridge::SmartPointer<Certificate> findCertificate(unsigned long certificateType,
                                                         const JNIBridge::ByteArray& value);
    JNIBridge::SmartPointer<PublicKey> findPublicKey(const Certificate& certificate);
    JNIBridge::SmartPointer<PrivateKey> findPrivateKey(const Certificate& certificate);

    // Encrypt, decrypt, sign, verify and unwrap (PKCS11SlotCrypto.cpp), with
    // the key that shares the certificate's CKA_ID.
    JNIBridge::ByteArray encryptData(const Certificate& certificate, const JNIBridge::ByteArray& data,
                                     unsigned long mechanism);
    JNIBridge::ByteArray decryptData(const Certificate& certificate, const JNIBridge::ByteArray& cipherText,
                                     unsigned long mechanism);
    JNIBridge::ByteArray signData(const Certificate& certificate, const JNIBridge::ByteArray& data,
                                  unsigned long mechanism);
    bool verifyData(const Certificate& certificate, const JNIBridge::ByteArray& data,
                    const JNIBridge::ByteArray& signature, unsigned long mechanism);
    JNIBridge::ByteArray unwrapKey(const Certificate& certificate, const JNIBridge::ByteArray& wrappedKey,
                                   unsigned long mechanism);

    // Certificates, objects and token info (PKCS11SlotObjects.cpp).
    Certificates getCertificates(unsigned long certificateType);
    void deleteCertificate(const Certificate& certificate, bool deletePublicKey, bool deletePrivateKey);
    void deleteObject(unsigned long handle);

private:
    // The session check: one C_GetSlotInfo; without an open session the
    // operation fails with its own message alone. The message is put
    // together only when the check fails, never on the way to success.
    void requireSession(const char* noSessionMessage);
    void requireSession(const char* prefix, const char* noSessionMessage);

    // A module reporting the device removed or the session closed has ended
    // the session; the slot stops counting it as open. sessionId_ is kept.
    void forgetSessionIfLost(CK_RV returnValue) noexcept;

    // The session-loss rule followed by the failure itself.
    [[noreturn]] void throwSessionCallFailure(const JNIBridge::String& message, CK_RV returnValue);

    // After any close, successful or not, the slot has no session.
    void forgetSession() noexcept;

    // Search and crypto helpers (PKCS11SlotSearch.cpp, PKCS11SlotCrypto.cpp).
    struct KeySearch;
    struct SinglePartOperation;
    template <typename Key>
    JNIBridge::SmartPointer<Key> findKeyOf(const Certificate& certificate, const KeySearch& search);
    JNIBridge::ByteArray runSinglePart(const SinglePartOperation& operation, const Certificate& certificate,
                                       const JNIBridge::ByteArray& input, unsigned long mechanism);
    // A failure inside a certificate listing or lookup, after the session-loss
    // rule, again in message-only form behind the operation's own prefix.
    [[noreturn]] void throwWithContext(const char* prefix, const PKCS11Exception& failure);

    CK_FUNCTION_LIST_PTR functionList_;
    CK_SLOT_ID slotID_;
    // The natives reach a slot only under its module's call lock; the flags stay
    // atomic for callers that hold a slot outside it (the tests do).
    std::atomic<bool> sessionOpened_{false};
    std::atomic<CK_SESSION_HANDLE> sessionId_{0};
    std::atomic<bool> call2ndInit_{false};
};

} // namespace PKCS11Bridge

#endif
