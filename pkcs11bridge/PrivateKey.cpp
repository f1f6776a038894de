// The private key (decrypt, sign) that belongs to a certificate.
#include "pkcs11bridge/PrivateKey.h"

namespace PKCS11Bridge {

PrivateKey::PrivateKey(const JNIBridge::ByteArray& id, CK_OBJECT_HANDLE handle, bool supportsDecryption,
                       bool supportsSigning)
    : id(id), handle(handle), supportsDecryption(supportsDecryption), supportsSigning(supportsSigning)
{
}

} // namespace PKCS11Bridge
