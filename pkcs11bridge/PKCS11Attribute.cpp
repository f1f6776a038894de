// Readers of single attributes of a token object in the slot's session.
#include "pkcs11bridge/PKCS11Attribute.h"

#include "pkcs11bridge/LengthLimit.h"
#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11Slot.h"

#include <climits>
#include <cstdio>

using JNIBridge::ByteArray;
using JNIBridge::String;

namespace PKCS11Bridge {

namespace {

// Longest attribute value accepted: a length beyond it is a module's
// mistake, not something to allocate.
constexpr CK_ULONG kLongestValue = LengthLimit::kLongest;

CK_RV readInto(PKCS11Slot* slot, CK_OBJECT_HANDLE object, CK_ATTRIBUTE& attribute)
{
    return slot->getFunctionList()->C_GetAttributeValue(slot->getSessionId(), object, &attribute, 1);
}

// Attribute types show unsigned, so a vendor-defined type (0x80000000 and up)
// reads as the number it is defined with.
String failure(const char* context, CK_ATTRIBUTE_TYPE type)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, "%lu", static_cast<unsigned long>(type));
    return String(context).append(digits).append("')");
}

// bool and unsigned long: one call into a zeroed buffer of the type's own size.
template <typename Stored>
Stored readFixed(PKCS11Slot* slot, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, const char* context)
{
    Stored value = 0;
    CK_ATTRIBUTE attribute = {type, &value, sizeof value};
    const CK_RV rv = readInto(slot, object, attribute);
    if (rv != CKR_OK) {
        throw PKCS11Exception(failure(context, type), rv);
    }
    return value;
}

} // namespace

template <>
bool PKCS11Attribute<bool>::getAttribute(PKCS11Slot* slot, unsigned long object, unsigned long type)
{
    return readFixed<CK_BBOOL>(slot, object, type,
                               "PKCS11Attribute<bool>::getAttribute(PKCS11Slot *, unsigned long, unsigned long)"
                               " - Failed on call to C_GetAttributeValue('") != CK_FALSE;
}

template <>
unsigned long PKCS11Attribute<unsigned long>::getAttribute(PKCS11Slot* slot, unsigned long object, unsigned long type)
{
    return readFixed<CK_ULONG>(
        slot, object, type,
        "PKCS11Attribute<unsigned long>::getAttribute(PKCS11Slot *, unsigned long, unsigned long)"
        " - Failed on call to C_GetAttributeValue('");
}

// Two calls: the length first, then the value into a buffer of that length.
template <>
ByteArray PKCS11Attribute<ByteArray>::getAttribute(PKCS11Slot* slot, unsigned long object, unsigned long type)
{
    const char* const lengthContext =
        "PKCS11Attribute<ByteArray>::getAttribute(unsigned long, unsigned long) - Failed on call to "
        "C_GetAttributeValue('";
    CK_ATTRIBUTE attribute = {type, NULL_PTR, 0};
    CK_RV rv = readInto(slot, object, attribute);
    if (rv != CKR_OK) {
        throw PKCS11Exception(failure(lengthContext, type), rv);
    }
    if (attribute.ulValueLen > kLongestValue) {
        throw PKCS11Exception(failure(lengthContext, type).append(" - The module reported an unusable length"));
    }
    ByteArray value(static_cast<unsigned int>(attribute.ulValueLen));
    attribute.pValue = value.data();
    rv = readInto(slot, object, attribute);
    if (rv != CKR_OK) {
        throw PKCS11Exception(failure("PKCS11Attribute<ByteArray>::getAttribute(PKCS11Slot *, unsigned long, "
                                      "unsigned long) - Failed on second call to C_GetAttributeValue('",
                                      type),
                              rv);
    }
    return value;
}

} // namespace PKCS11Bridge
