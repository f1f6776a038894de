// The private key (decrypt, sign) that shares a certificate's CKA_ID, with what the token says it may do.
#ifndef ORV_PKCS11BRIDGE_PRIVATEKEY_H
#define ORV_PKCS11BRIDGE_PRIVATEKEY_H

#include "jnibridge/ByteArray.h"
#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class PrivateKey {
public:
    PrivateKey(const JNIBridge::ByteArray& id, CK_OBJECT_HANDLE handle, bool supportsDecryption, bool supportsSigning);

    const JNIBridge::ByteArray& getId() const noexcept { return id_; }
    CK_OBJECT_HANDLE getHandle() const noexcept { return handle_; }
    bool getSupportsDecryption() const noexcept { return supportsDecryption_; }
    bool getSupportsSigning() const noexcept { return supportsSigning_; }

private:
    JNIBridge::ByteArray id_;
    CK_OBJECT_HANDLE handle_;
    bool supportsDecryption_;
    bool supportsSigning_;
};

} // namespace PKCS11Bridge

#endif
