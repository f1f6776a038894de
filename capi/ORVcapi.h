// The CryptoAPI operations behind the CapiToken natives. The class has no
// state: every provider, key, hash, store and certificate handle lives within
// one call. Members return a result code (0, -70..-999, or a Windows error
// code) unless they are documented to throw Common::Exception.
#ifndef ORV_CAPI_ORVCAPI_H
#define ORV_CAPI_ORVCAPI_H

#include "capi/CapiHandles.h"
#include "capi/PrivateKeyHandle.h"
#include "capi/ProviderAlgorithms.h"
#include "capi/SecureBuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

using CertificateList = std::vector<SecureBuffer>;

class ORVcapi {
public:
    // Providers and certificates' keys (ORVcapi.cpp)
    int isCspAvailable(const char* providerName, const char* providerTypeName, bool& available);
    // On success the caller owns provider and certificate; mustRelease is then set.
    int getCspFromCertificate(const SecureBuffer& encodedCertificate, const char* storeName,
                              CryptProvider& provider, CertContext& certificate, bool& mustRelease,
                              DWORD& keySpec);

    // Certificate stores (ORVcapiStores.cpp)
    int getCertificates(const char* storeName, std::unique_ptr<CertificateList>& certificates);
    int isCertificateInStore(const SecureBuffer& encodedCertificate, const char* storeName, bool& found);

    // Private keys and random (ORVcapiKeys.cpp)
    int getProviderAlgorithms(HCRYPTPROV provider, ProviderAlgorithms& algorithms);
    int wrapDigest(const SecureBuffer& digest, int hashType, const SecureBuffer& encodedCertificate,
                   const char* storeName, SecureBuffer& signature, int keySpec);
    // Throw Common::Exception, or Common::UserCancelledException when the
    // provider refused the key.
    void getPrivateKey(const SecureBuffer& encodedCertificate, const char* storeName, PrivateKeyHandle& key);
    void unwrapSessionKey(const SecureBuffer& wrappedKey, const SecureBuffer& encodedCertificate,
                          const char* storeName, SecureBuffer& plainKey);
    void generateSeed(unsigned char* address, DWORD length);
};

#endif
