// A certificate object found on a token.
#include "pkcs11bridge/Certificate.h"

namespace PKCS11Bridge {

Certificate::Certificate(const JNIBridge::ByteArray& value, CK_OBJECT_HANDLE handle, const JNIBridge::ByteArray& id)
    : value_(value), handle_(handle), id_(id)
{
}

} // namespace PKCS11Bridge
