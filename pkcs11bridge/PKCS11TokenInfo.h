// A token's description as C_GetTokenInfo reports it; text fields keep their
// full fixed width, blank padding included.
#ifndef ORV_PKCS11BRIDGE_PKCS11TOKENINFO_H
#define ORV_PKCS11BRIDGE_PKCS11TOKENINFO_H

#include "jnibridge/String.h"
#include "pkcs11bridge/Cryptoki.h"

namespace PKCS11Bridge {

class PKCS11Slot;

class PKCS11TokenInfo {
public:
    // Needs no session; throws PKCS11Exception when the module refuses.
    explicit PKCS11TokenInfo(const PKCS11Slot& slot);

    const JNIBridge::String& getLabel() const noexcept { return label_; }
    const JNIBridge::String& getManufacturerID() const noexcept { return manufacturerID_; }
    const JNIBridge::String& getModel() const noexcept { return model_; }
    const JNIBridge::String& getSerialNumber() const noexcept { return serialNumber_; }
    unsigned long getSessionCount() const noexcept { return sessionCount_; }
    bool getHasRNG() const noexcept { return hasRNG_; }
    bool getLoginRequired() const noexcept { return loginRequired_; }

private:
    // Fields built straight from the module's answer, none first made empty.
    explicit PKCS11TokenInfo(const CK_TOKEN_INFO& info);

    JNIBridge::String label_;
    JNIBridge::String manufacturerID_;
    JNIBridge::String model_;
    JNIBridge::String serialNumber_;
    unsigned long sessionCount_ = 0;
    bool hasRNG_ = false;
    bool loginRequired_ = false;
};

} // namespace PKCS11Bridge

#endif
