// One attribute of a search template, and the readers of single attributes of
// a token object. T names the value's type: unsigned long, bool or ByteArray.
#ifndef ORV_PKCS11BRIDGE_PKCS11ATTRIBUTE_H
#define ORV_PKCS11BRIDGE_PKCS11ATTRIBUTE_H

#include "jnibridge/ByteArray.h"
#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class PKCS11Slot;

template <typename T>
class PKCS11Attribute {
public:
    // The attribute points at the caller's value and must not outlive it.
    PKCS11Attribute(CK_ATTRIBUTE_TYPE type, const CK_ULONG* value)
        : record_{type, const_cast<CK_ULONG*>(value), sizeof(CK_ULONG)}
    {
    }
    PKCS11Attribute(CK_ATTRIBUTE_TYPE type, const JNIBridge::ByteArray& value)
        : record_{type, const_cast<char*>(value.data()), value.length()}
    {
    }

    const CK_ATTRIBUTE& getRecord() const noexcept { return record_; }

    // Reads attribute `type` of `object` in the slot's session; throws
    // PKCS11Exception when the module refuses.
    static T getAttribute(PKCS11Slot* slot, unsigned long object, unsigned long type);

private:
    CK_ATTRIBUTE record_;
};

template <>
bool PKCS11Attribute<bool>::getAttribute(PKCS11Slot* slot, unsigned long object, unsigned long type);
template <>
unsigned long PKCS11Attribute<unsigned long>::getAttribute(PKCS11Slot* slot, unsigned long object, unsigned long type);
template <>
JNIBridge::ByteArray PKCS11Attribute<JNIBridge::ByteArray>::getAttribute(PKCS11Slot* slot, unsigned long object,
                                                                         unsigned long type);

} // namespace PKCS11Bridge

#endif
