// The key storage providers (CNG) the stand-in offers and their keys on disk:
// <root>/ksp/<provider>/<user|machine>/<key>/{keyx,sig}.pem, one file per
// legacy key spec, and an optional `refuse` file holding the status that
// signing and decrypting with the key (or, marked "open", opening it) then
// fail with, as a smart card whose PIN or insert prompt the user cancels.
#ifndef ORV_PLATFORM_KEY_STORAGE_H
#define ORV_PLATFORM_KEY_STORAGE_H

#include "tests/standin/Common.h"

#include <string>

namespace orv::platform {

// The provider's canonical name, or null when the stand-in has no such
// provider. An empty name means the software provider, as on Windows.
const char* keyStorageProviderName(const std::string& name);

class KeyStorage {
public:
    KeyStorage(const std::string& provider, bool machine) : provider_(provider), machine_(machine) {}

    // Legacy key spec 0 takes the exchange key, else the signature key.
    // Missing: null with NTE_BAD_KEYSET.
    PkeyPtr loadKey(const std::string& keyName, DWORD legacyKeySpec, LONG& error) const;
    bool storeKey(const std::string& keyName, DWORD legacyKeySpec, EVP_PKEY* key) const;

    enum class Stage { Use, Open, Property };
    // 0 when the key may be used (or opened, or its properties read).
    LONG refusal(const std::string& keyName, Stage stage) const;
    bool setRefusal(const std::string& keyName, LONG status, Stage stage = Stage::Use) const;

private:
    std::string path(const std::string& keyName, bool create) const;

    std::string provider_;
    bool machine_;
};

} // namespace orv::platform

#endif
