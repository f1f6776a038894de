// A token's description, read without a session.
#include "pkcs11bridge/PKCS11TokenInfo.h"

#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11Slot.h"

#include <cstring>

using JNIBridge::String;

namespace PKCS11Bridge {

namespace {

template <std::size_t N>
String fixedWidth(const unsigned char (&field)[N])
{
    return String(reinterpret_cast<const char*>(field), 0, N);
}

CK_TOKEN_INFO tokenInfoOf(const PKCS11Slot& slot)
{
    CK_TOKEN_INFO info;
    std::memset(&info, 0, sizeof info);
    const CK_RV rv = slot.getFunctionList()->C_GetTokenInfo(slot.getSlotID(), &info);
    if (rv != CKR_OK) {
        throw PKCS11Exception(
            "PKCS11TokenInfo::PKCS11TokenInfo(const PKCS11Slot&) - Failed on call to C_GetTokenInfo()", rv);
    }
    return info;
}

} // namespace

PKCS11TokenInfo::PKCS11TokenInfo(const PKCS11Slot& slot) : PKCS11TokenInfo(tokenInfoOf(slot))
{
}

PKCS11TokenInfo::PKCS11TokenInfo(const CK_TOKEN_INFO& info)
    : label_(fixedWidth(info.label)), manufacturerID_(fixedWidth(info.manufacturerID)), model_(fixedWidth(info.model)),
      serialNumber_(fixedWidth(info.serialNumber)), sessionCount_(info.ulSessionCount),
      hasRNG_((info.flags & CKF_RNG) != 0), loginRequired_(((info.flags >> 2) & 0x1) != 0)
{
}

} // namespace PKCS11Bridge
