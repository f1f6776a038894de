// A certificate object found on a token: its encoding, handle and CKA_ID.
#ifndef ORV_PKCS11BRIDGE_CERTIFICATE_H
#define ORV_PKCS11BRIDGE_CERTIFICATE_H

#include "jnibridge/ByteArray.h"
#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class Certificate {
public:
    Certificate(const JNIBridge::ByteArray& value, CK_OBJECT_HANDLE handle, const JNIBridge::ByteArray& id);

    const JNIBridge::ByteArray& getValue() const noexcept { return value_; }
    CK_OBJECT_HANDLE getHandle() const noexcept { return handle_; }
    const JNIBridge::ByteArray& getId() const noexcept { return id_; }

private:
    JNIBridge::ByteArray value_;
    CK_OBJECT_HANDLE handle_;
    JNIBridge::ByteArray id_;
};

} // namespace PKCS11Bridge

#endif
