// The public key (encrypt, verify) that shares a certificate's CKA_ID, with what the token says it may do.
#ifndef ORV_PKCS11BRIDGE_PUBLICKEY_H
#define ORV_PKCS11BRIDGE_PUBLICKEY_H

#include "jnibridge/ByteArray.h"
#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class PublicKey {
public:
    PublicKey(const JNIBridge::ByteArray& id, CK_OBJECT_HANDLE handle, bool supportsEncryption,
              bool supportsVerification);

    const JNIBridge::ByteArray& getId() const noexcept { return id_; }
    CK_OBJECT_HANDLE getHandle() const noexcept { return handle_; }
    bool getSupportsEncryption() const noexcept { return supportsEncryption_; }
    bool getSupportsVerification() const noexcept { return supportsVerification_; }

private:
    JNIBridge::ByteArray id_;
    CK_OBJECT_HANDLE handle_;
    bool supportsEncryption_;
    bool supportsVerification_;
};

} // namespace PKCS11Bridge

#endif
