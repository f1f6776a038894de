// Owning wrappers for the CryptoAPI handles the bridge acquires.
#ifndef ORV_CAPI_CAPIHANDLES_H
#define ORV_CAPI_CAPIHANDLES_H

#include "common/ScopedHandle.h"
#include "common/Win32CallLog.h"

namespace CAPIBridge {

struct CryptProviderTraits {
    using Handle = HCRYPTPROV;
    static Handle empty() noexcept { return 0; }
    static BOOL close(Handle h) noexcept
    {
        return Common::Win32CallLog::call("CryptReleaseContext", CryptReleaseContext(h, 0));
    }
};

struct CryptKeyTraits {
    using Handle = HCRYPTKEY;
    static Handle empty() noexcept { return 0; }
    static BOOL close(Handle h) noexcept { return Common::Win32CallLog::call("CryptDestroyKey", CryptDestroyKey(h)); }
};

struct CryptHashTraits {
    using Handle = HCRYPTHASH;
    static Handle empty() noexcept { return 0; }
    static BOOL close(Handle h) noexcept { return Common::Win32CallLog::call("CryptDestroyHash", CryptDestroyHash(h)); }
};

struct CertStoreTraits {
    using Handle = HCERTSTORE;
    static Handle empty() noexcept { return nullptr; }
    static BOOL close(Handle h) noexcept { return Common::Win32CallLog::call("CertCloseStore", CertCloseStore(h, 0)); }
};

struct CertContextTraits {
    using Handle = PCCERT_CONTEXT;
    static Handle empty() noexcept { return nullptr; }
    static BOOL close(Handle h) noexcept
    {
        return Common::Win32CallLog::call("CertFreeCertificateContext", CertFreeCertificateContext(h));
    }
};

using CryptProvider = Common::ScopedHandle<CryptProviderTraits>;
using CryptKey = Common::ScopedHandle<CryptKeyTraits>;
using CryptHash = Common::ScopedHandle<CryptHashTraits>;
using CertStore = Common::ScopedHandle<CertStoreTraits>;
using CertContext = Common::ScopedHandle<CertContextTraits>;

} // namespace CAPIBridge

#endif
