// The CryptoAPI operations behind the CapiToken natives. The class has no
// state: every provider, key, hash, store and certificate handle lives within
// one call. Members return a result code (0, -70..-999, or a Windows error
// code) unless they are documented to throw Common::Exception.
#ifndef ORV_CAPI_ORVCAPI_H
#define ORV_CAPI_ORVCAPI_H

#include "capi/CapiHandles.h"
#include "capi/CertificateKey.h"
#include "capi/CngPrivateKey.h"
#include "capi/PrivateKeyHandle.h"
#include "capi/ProviderAlgorithms.h"
#include "capi/SecureBuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace CAPIBridge {

using CertificateList = std::vector<SecureBuffer>;

class ORVcapi {
public:
    // Providers and certificates' keys (ORVcapi.cpp)
    int isCspAvailable(const char* providerName, const char* providerTypeName, bool& available);
    // On success the caller owns provider and certificate; mustRelease is then set.
    int getCspFromCertificate(const SecureBuffer& encodedCertificate, const char* storeName, CryptProvider& provider,
                              CertContext& certificate, bool& mustRelease, DWORD& keySpec);
    // The certificate's entry in the store and its key-provider information:
    // everything getCspFromCertificate finds before it acquires the provider.
    int findCertificateKey(const SecureBuffer& encodedCertificate, const char* storeName, CertificateKey& key);
    // Acquires the provider an entry from findCertificateKey names, as
    // getCspFromCertificate does last.
    int acquireCsp(CertificateKey& key, CryptProvider& provider, CertContext& certificate, bool& mustRelease,
                   DWORD& keySpec);
    // getCspFromCertificate, except that a key held by a key storage provider
    // is not acquired: 0 is returned without a provider, and `keyStorage`
    // receives the entry (its store already closed).
    int getKeyFromCertificate(const SecureBuffer& encodedCertificate, const char* storeName, CryptProvider& provider,
                              CertContext& certificate, bool& mustRelease, DWORD& keySpec, CertificateKey& keyStorage);

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
    void unwrapSessionKey(const SecureBuffer& wrappedKey, const SecureBuffer& encodedCertificate, const char* storeName,
                          SecureBuffer& plainKey);
    void generateSeed(unsigned char* address, DWORD length);

    // Keys held by a key storage provider (ORVcapiKeyStorage.cpp), for
    // certificates whose key-provider information has provider type 0.
    // The hashes are always available; the group decides the signature.
    int getKeyAlgorithms(CngPrivateKey& key, ProviderAlgorithms& algorithms);
    // The codes of wrapDigest's signing (length query, allocation, signature,
    // cancellation); the signature in CryptSignHashA's byte order.
    int signDigestWithKey(CngPrivateKey& key, ALG_ID hashAlgorithm, const SecureBuffer& digest,
                          SecureBuffer& signature);
    // Decrypts the big-endian wrapped key; throws as unwrapSessionKey.
    void decryptWithKey(CngPrivateKey& key, const SecureBuffer& wrappedKey, SecureBuffer& plainKey);

private:
    int wrapDigestWithKeyStorage(const SecureBuffer& digest, ALG_ID hashAlgorithm, int keySpec, CertificateKey& entry,
                                 SecureBuffer& signature);
};

} // namespace CAPIBridge

#endif
