// A private key held by a key storage provider, with the provider handle it
// was opened through. The key is freed before its provider.
#ifndef ORV_CAPI_CNGPRIVATEKEY_H
#define ORV_CAPI_CNGPRIVATEKEY_H

#include "capi/CngHandles.h"

#include <cstddef>

namespace CAPIBridge {

class CngPrivateKey {
public:
    // Opens the key that key-provider information of type 0 names: its
    // provider, key name, legacy key spec and machine-key flag. The CNG status,
    // or NcryptFunctions::missing when CNG is not there.
    SECURITY_STATUS open(const CRYPT_KEY_PROV_INFO& info);
    // False where ncrypt.dll or one of its functions is missing.
    static bool available() { return NcryptFunctions::get().missing == 0; }
    // Takes over handles obtained elsewhere.
    void adopt(NCRYPT_PROV_HANDLE provider, NCRYPT_KEY_HANDLE key);

    bool isOpen() const noexcept { return key_.valid(); }
    NCRYPT_KEY_HANDLE key() const noexcept { return key_.get(); }
    NCryptObject& keyHandle() noexcept { return key_; }
    NCryptObject& providerHandle() noexcept { return provider_; }

    // Reads the key's algorithm group ("RSA", "DSA", ...).
    SECURITY_STATUS readAlgorithmGroup();
    bool isRsa() const noexcept { return group_ == Group::Rsa; }
    bool isDsa() const noexcept { return group_ == Group::Dsa; }

    // CNG gives signatures big-endian; CryptSignHashA little-endian, a DSS
    // signature as r and s each reversed on its own.
    static void toCryptoApiOrder(unsigned char* signature, std::size_t length, bool dsa) noexcept;

private:
    enum class Group { Unknown, Rsa, Dsa, Other };

    // Declaration order frees the key first.
    NCryptObject provider_;
    NCryptObject key_;
    Group group_ = Group::Unknown;
};

} // namespace CAPIBridge

#endif
