// Opening, or creating, a key container of the default RSA provider.
#include "capi/ProviderManager.h"

#include "common/Exception.h"
#include "common/Win32CallLog.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace CAPIBridge {

ProviderManager::ProviderManager(const char* containerName) : handle_(0)
{
    if (Common::Win32CallLog::call("CryptAcquireContextA",
                                   CryptAcquireContextA(&handle_, containerName, nullptr, PROV_RSA_FULL, 0))) {
        return;
    }
    if (Common::Win32CallLog::call("CryptAcquireContextA", CryptAcquireContextA(&handle_, containerName, nullptr,
                                                                                PROV_RSA_FULL, CRYPT_NEWKEYSET))) {
        return;
    }
    // Another thread or process created it between the two calls above.
    if (static_cast<std::int32_t>(GetLastError()) == static_cast<std::int32_t>(NTE_EXISTS) &&
        Common::Win32CallLog::call("CryptAcquireContextA",
                                   CryptAcquireContextA(&handle_, containerName, nullptr, PROV_RSA_FULL, 0))) {
        return;
    }
    handle_ = 0;
    const std::string message =
        std::string("ProviderManager::ProviderManager() Could not obtain the provider for the container") +
        (containerName != nullptr ? containerName : "");
    throw Common::Exception(message.c_str(), 0);
}

ProviderManager::~ProviderManager()
{
    if (handle_ != 0 && !Common::Win32CallLog::call("CryptReleaseContext", CryptReleaseContext(handle_, 0))) {
        std::fputs("ProviderManager::~ProviderManager() Warning: Could not release the crypto provider.\n", stderr);
        std::fflush(stderr);
    }
}

} // namespace CAPIBridge
