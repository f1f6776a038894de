// A private key together with the provider context it came from; the key is
// destroyed before its provider is released.
#ifndef ORV_CAPI_PRIVATEKEYHANDLE_H
#define ORV_CAPI_PRIVATEKEYHANDLE_H

#include "capi/CapiHandles.h"

class PrivateKeyHandle {
public:
    PrivateKeyHandle() = default;

    CryptProvider& provider() noexcept { return provider_; }
    CryptKey& key() noexcept { return key_; }

private:
    // Declaration order makes the key go first.
    CryptProvider provider_;
    CryptKey key_;
};

#endif
