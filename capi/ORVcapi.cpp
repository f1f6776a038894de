// Provider availability and finding the provider that holds a certificate's key.
#include "capi/ORVcapi.h"

#include "capi/LastError.h"
#include "capi/ResultCodes.h"
#include "common/Win32CallLog.h"

#include <cstring>

namespace CAPIBridge {

namespace {

struct ProviderTypeName {
    const char* name;
    DWORD type;
};

const ProviderTypeName kProviderTypes[] = {
    {"RSA_FULL", PROV_RSA_FULL},
    {"RSA_AES", PROV_RSA_AES},
    {"RSA_SIG", PROV_RSA_SIG},
    {"RSA_SCHANNEL", PROV_RSA_SCHANNEL},
    {"DSS", PROV_DSS},
    {"DSS_DH", PROV_DSS_DH},
    {"DH_SCHANNEL", PROV_DH_SCHANNEL},
    {"FORTEZZA", PROV_FORTEZZA},
    {"MS_EXCHANGE", PROV_MS_EXCHANGE},
    {"SSL", PROV_SSL},
};

const ProviderTypeName* findProviderType(const char* name)
{
    for (const ProviderTypeName& entry : kProviderTypes) {
        if (std::strcmp(entry.name, name) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

// The Base provider caps RSA keys and hashes that the Enhanced one handles, and
// every Windows that has the one has the other.
const char* const kBaseProvider = "Microsoft Base Cryptographic Provider v1.0";
const char* const kEnhancedProvider = "Microsoft Enhanced Cryptographic Provider v1.0";

int readKeyProvInfo(PCCERT_CONTEXT certificate, SecureBuffer& info)
{
    DWORD size = 0;
    if (!Common::Win32CallLog::call(
            "CertGetCertificateContextProperty",
            CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))) {
        return LastError::code();
    }
    if (!info.allocate(size)) {
        return ResultCode::kKeyProvInfoAlloc;
    }
    if (!Common::Win32CallLog::call(
            "CertGetCertificateContextProperty",
            CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, info.data(), &size))) {
        return LastError::code();
    }
    return ResultCode::kSuccess;
}

} // namespace

int ORVcapi::isCspAvailable(const char* providerName, const char* providerTypeName, bool& available)
{
    const ProviderTypeName* type = findProviderType(providerTypeName);
    if (type == nullptr) {
        return ResultCode::kCspUnknownTypeName;
    }
    available = false;
    HCRYPTPROV provider = 0;
    if (!Common::Win32CallLog::call("CryptAcquireContextA", CryptAcquireContextA(&provider, nullptr, providerName,
                                                                                 type->type, CRYPT_VERIFYCONTEXT))) {
        return LastError::code();
    }
    available = true;
    Common::Win32CallLog::call("CryptReleaseContext", CryptReleaseContext(provider, 0));
    return ResultCode::kSuccess;
}

int ORVcapi::getCspFromCertificate(const SecureBuffer& encodedCertificate, const char* storeName,
                                   CryptProvider& provider, CertContext& certificate, bool& mustRelease, DWORD& keySpec)
{
    provider.reset();
    certificate.reset();
    mustRelease = false;
    keySpec = 0;
    CertificateKey entry;
    const int rc = findCertificateKey(encodedCertificate, storeName, entry);
    return rc != ResultCode::kSuccess ? rc : acquireCsp(entry, provider, certificate, mustRelease, keySpec);
}

int ORVcapi::getKeyFromCertificate(const SecureBuffer& encodedCertificate, const char* storeName,
                                   CryptProvider& provider, CertContext& certificate, bool& mustRelease, DWORD& keySpec,
                                   CertificateKey& keyStorage)
{
    provider.reset();
    certificate.reset();
    mustRelease = false;
    keySpec = 0;
    CertificateKey entry;
    const int rc = findCertificateKey(encodedCertificate, storeName, entry);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    // Without CNG the key takes the CryptoAPI step, and its answer: a missing
    // DLL is no reason to report a cancel.
    if (!entry.inKeyStorageProvider() || !CngPrivateKey::available()) {
        return acquireCsp(entry, provider, certificate, mustRelease, keySpec);
    }
    // Closed here as on the CryptoAPI path; the certificate stays valid.
    entry.store.reset();
    keyStorage = std::move(entry);
    return ResultCode::kSuccess;
}

int ORVcapi::findCertificateKey(const SecureBuffer& encodedCertificate, const char* storeName, CertificateKey& key)
{
    CertContext decoded(Common::Win32CallLog::call(
        "CertCreateCertificateContext",
        CertCreateCertificateContext(X509_ASN_ENCODING, encodedCertificate.data(), encodedCertificate.length())));
    if (!decoded) {
        return LastError::code();
    }
    key.store.reset(Common::Win32CallLog::call("CertOpenSystemStoreA", CertOpenSystemStoreA(0, storeName)));
    if (!key.store) {
        return LastError::code();
    }
    // Matches issuer and serial number.
    key.certificate.reset(Common::Win32CallLog::call("CertFindCertificateInStore",
                                                     CertFindCertificateInStore(key.store.get(), X509_ASN_ENCODING, 0,
                                                                                CERT_FIND_SUBJECT_CERT,
                                                                                decoded.get()->pCertInfo, nullptr)));
    if (!key.certificate) {
        const DWORD error = GetLastError();
        return static_cast<std::int32_t>(error) == static_cast<std::int32_t>(CRYPT_E_NOT_FOUND)
                   ? ResultCode::kCertificateNotInStore
                   : LastError::code(error);
    }
    if (!decoded.close()) {
        return LastError::code();
    }

    int rc = readKeyProvInfo(key.certificate.get(), key.infoBytes);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    rc = key.container.convert(key.info().pwszContainerName, ResultCode::kContainerNameTooLong,
                               ResultCode::kContainerNameConversion);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    rc = key.provider.convert(key.info().pwszProvName, ResultCode::kProviderNameTooLong,
                              ResultCode::kProviderNameConversion);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    key.provider.replaceIf(kBaseProvider, kEnhancedProvider);
    return ResultCode::kSuccess;
}

int ORVcapi::acquireCsp(CertificateKey& key, CryptProvider& provider, CertContext& certificate, bool& mustRelease,
                        DWORD& keySpec)
{
    HCRYPTPROV acquired = 0;
    if (!Common::Win32CallLog::call(
            "CryptAcquireContextA",
            CryptAcquireContextA(&acquired, key.container.get(), key.provider.get(), key.info().dwProvType, 0))) {
        return LastError::code();
    }
    provider.reset(acquired);
    keySpec = key.info().dwKeySpec;
    certificate = std::move(key.certificate);
    mustRelease = true;
    return ResultCode::kSuccess;
}

} // namespace CAPIBridge
