// The public key (encrypt, verify) that belongs to a certificate.
#include "pkcs11bridge/PublicKey.h"

namespace PKCS11Bridge {

PublicKey::PublicKey(const JNIBridge::ByteArray& id, CK_OBJECT_HANDLE handle, bool supportsEncryption,
                     bool supportsVerification)
    : id_(id), handle_(handle), supportsEncryption_(supportsEncryption), supportsVerification_(supportsVerification)
{
}

} // namespace PKCS11Bridge
