// Owning wrappers for the CryptoAPI handles the bridge acquires.
#ifndef ORV_CAPI_CAPIHANDLES_H
#define ORV_CAPI_CAPIHANDLES_H

#include "common/ScopedHandle.h"

struct CryptProviderTraits {
    using Handle = HCRYPTPROV;
    static Handle empty() noexcept { return 0; }
    static BOOL close(Handle h) noexcept { return CryptReleaseContext(h, 0); }
};

struct CryptKeyTraits {
    using Handle = HCRYPTKEY;
    static Handle empty() noexcept { return 0; }
    static BOOL close(Handle h) noexcept { return CryptDestroyKey(h); }
};

struct CryptHashTraits {
    using Handle = HCRYPTHASH;
    static Handle empty() noexcept { return 0; }
    static BOOL close(Handle h) noexcept { return CryptDestroyHash(h); }
};

struct CertStoreTraits {
    using Handle = HCERTSTORE;
    static Handle empty() noexcept { return nullptr; }
    static BOOL close(Handle h) noexcept { return CertCloseStore(h, 0); }
};

struct CertContextTraits {
    using Handle = PCCERT_CONTEXT;
    static Handle empty() noexcept { return nullptr; }
    static BOOL close(Handle h) noexcept { return CertFreeCertificateContext(h); }
};

using CryptProvider = ScopedHandle<CryptProviderTraits>;
using CryptKey = ScopedHandle<CryptKeyTraits>;
using CryptHash = ScopedHandle<CryptHashTraits>;
using CertStore = ScopedHandle<CertStoreTraits>;
using CertContext = ScopedHandle<CertContextTraits>;

#endif
