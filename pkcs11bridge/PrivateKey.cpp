// The private key (decrypt, sign) that belongs to a certificate.
#include "pkcs11bridge/PrivateKey.h"

namespace PKCS11Bridge {

PrivateKey::PrivateKey(const JNIBridge::ByteArray& id, CK_OBJECT_HANDLE handle, bool supportsDecryption,
                       bool supportsSigning)
    : id_(id), handle_(handle), supportsDecryption_(supportsDecryption), supportsSigning_(supportsSigning)
{
}

} // namespace PKCS11Bridge
