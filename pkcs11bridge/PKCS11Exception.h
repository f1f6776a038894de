// Failures of the PKCS#11 bridge; the text ends in the CKR name where a module call failed.
#ifndef ORV_PKCS11BRIDGE_PKCS11EXCEPTION_H
#define ORV_PKCS11BRIDGE_PKCS11EXCEPTION_H

#include "jnibridge/Exception.h"
#include "jnibridge/String.h"
#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class PKCS11Exception : public JNIBridge::Exception {
public:
    // Text: message + " - " + getReturnValueName(returnValue).
    PKCS11Exception(const JNIBridge::String& message, CK_RV returnValue);
    // Text: message unchanged; returnValue 0.
    explicit PKCS11Exception(const JNIBridge::String& message);
    PKCS11Exception(const PKCS11Exception& other) = default;

    CK_RV getReturnValue() const noexcept { return returnValue_; }

private:
    CK_RV returnValue_;
};

// The standard name of a PKCS#11 return value, or "Unknown PKCS11 Error".
JNIBridge::String getReturnValueName(CK_RV code);

// Messages show every number as signed 32-bit decimal, whatever CK_ULONG's width.
inline long messageNumber(CK_ULONG value)
{
    return static_cast<long>(value);
}

} // namespace PKCS11Bridge

#endif
