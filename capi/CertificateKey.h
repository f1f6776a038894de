// What a certificate's entry in a system store says about its private key:
// the entry, its key-provider information and the names converted for
// CryptoAPI. Members go in reverse order, so the store is closed last.
#ifndef ORV_CAPI_CERTIFICATEKEY_H
#define ORV_CAPI_CERTIFICATEKEY_H

#include "capi/CapiHandles.h"
#include "capi/NarrowName.h"
#include "capi/SecureBuffer.h"

namespace CAPIBridge {

struct CertificateKey {
    CertStore store;
    CertContext certificate;
    SecureBuffer infoBytes;
    NarrowName container;
    NarrowName provider;

    const CRYPT_KEY_PROV_INFO& info() const { return *reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(infoBytes.data()); }
    // Provider type 0: a key storage provider (CNG) holds the key, which
    // CryptAcquireContextA cannot open.
    bool inKeyStorageProvider() const { return !infoBytes.empty() && info().dwProvType == 0; }
};

} // namespace CAPIBridge

#endif
