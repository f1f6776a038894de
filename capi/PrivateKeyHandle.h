// A private key together with the provider context it came from; the key is
// destroyed before its provider is released. A key held by a key storage
// provider is kept in keyStorageKey() instead, and the other two stay empty.
#ifndef ORV_CAPI_PRIVATEKEYHANDLE_H
#define ORV_CAPI_PRIVATEKEYHANDLE_H

#include "capi/CapiHandles.h"
#include "capi/CngPrivateKey.h"

namespace CAPIBridge {

class PrivateKeyHandle {
public:
    PrivateKeyHandle() = default;

    CryptProvider& provider() noexcept { return provider_; }
    CryptKey& key() noexcept { return key_; }
    CngPrivateKey& keyStorageKey() noexcept { return keyStorageKey_; }

private:
    // Declaration order makes the key go first.
    CryptProvider provider_;
    CryptKey key_;
    CngPrivateKey keyStorageKey_;
};

} // namespace CAPIBridge

#endif
