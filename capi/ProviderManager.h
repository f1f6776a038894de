// A provider context for one named key container of the default PROV_RSA_FULL
// provider, the container created when it does not exist yet.
#ifndef ORV_CAPI_PROVIDERMANAGER_H
#define ORV_CAPI_PROVIDERMANAGER_H

#include "platform/Win32.h"

namespace CAPIBridge {

class ProviderManager {
public:
    // Throws Common::Exception when the container can be neither opened nor created.
    explicit ProviderManager(const char* containerName);
    // Never throws; a failed release is only reported on stderr.
    ~ProviderManager();

    ProviderManager(const ProviderManager&) = delete;
    ProviderManager& operator=(const ProviderManager&) = delete;

    HCRYPTPROV getHandle() const noexcept { return handle_; }

private:
    HCRYPTPROV handle_;
};

} // namespace CAPIBridge

#endif
