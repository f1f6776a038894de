// Provider availability and finding the provider that holds a certificate's key.
#include "capi/ORVcapi.h"

#include "capi/LastError.h"
#include "capi/ResultCodes.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

struct ProviderTypeName {
    const char* name;
    DWORD type;
};

const ProviderTypeName kProviderTypes[] = {
    {"RSA_FULL", PROV_RSA_FULL},       {"RSA_AES", PROV_RSA_AES},   {"RSA_SIG", PROV_RSA_SIG},
    {"RSA_SCHANNEL", PROV_RSA_SCHANNEL}, {"DSS", PROV_DSS},           {"DSS_DH", PROV_DSS_DH},
    {"DH_SCHANNEL", PROV_DH_SCHANNEL}, {"FORTEZZA", PROV_FORTEZZA}, {"MS_EXCHANGE", PROV_MS_EXCHANGE},
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

constexpr std::size_t kMaxNameBytes = 512;

// A container or provider name from the key-provider information, in the
// current locale's multibyte form. A null name stays null: CryptoAPI then
// picks the default container or provider.
class NarrowName {
public:
    int convert(const wchar_t* wide, int tooLongCode, int conversionCode)
    {
        isNull_ = wide == nullptr;
        if (isNull_) {
            return ResultCode::kSuccess;
        }
        const std::size_t length = std::wcstombs(nullptr, wide, 0);
        if (length == static_cast<std::size_t>(-1) || length > kMaxNameBytes) {
            return tooLongCode;
        }
        const std::size_t written = std::wcstombs(bytes_.data(), wide, bytes_.size());
        if (written == static_cast<std::size_t>(-1)) {
            return conversionCode;
        }
        bytes_[written] = '\0';
        return ResultCode::kSuccess;
    }

    void replaceIf(const char* from, const char* to)
    {
        if (!isNull_ && std::strcmp(bytes_.data(), from) == 0) {
            std::strncpy(bytes_.data(), to, kMaxNameBytes);
        }
    }

    const char* get() const { return isNull_ ? nullptr : bytes_.data(); }

private:
    std::array<char, kMaxNameBytes + 1> bytes_{};
    bool isNull_ = true;
};

int readKeyProvInfo(PCCERT_CONTEXT certificate, SecureBuffer& info)
{
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
        return LastError::code();
    }
    if (!info.allocate(size)) {
        return ResultCode::kKeyProvInfoAlloc;
    }
    if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, info.data(), &size)) {
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
    if (!CryptAcquireContextA(&provider, nullptr, providerName, type->type, CRYPT_VERIFYCONTEXT)) {
        return LastError::code();
    }
    available = true;
    CryptReleaseContext(provider, 0);
    return ResultCode::kSuccess;
}

int ORVcapi::getCspFromCertificate(const SecureBuffer& encodedCertificate, const char* storeName,
                                   CryptProvider& provider, CertContext& certificate, bool& mustRelease,
                                   DWORD& keySpec)
{
    provider.reset();
    certificate.reset();
    mustRelease = false;
    keySpec = 0;

    CertContext decoded(
        CertCreateCertificateContext(X509_ASN_ENCODING, encodedCertificate.data(), encodedCertificate.length()));
    if (!decoded) {
        return LastError::code();
    }
    CertStore store(CertOpenSystemStoreA(0, storeName));
    if (!store) {
        return LastError::code();
    }
    // Matches issuer and serial number.
    CertContext found(CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                                 decoded.get()->pCertInfo, nullptr));
    if (!found) {
        const DWORD error = GetLastError();
        return static_cast<std::int32_t>(error) == static_cast<std::int32_t>(CRYPT_E_NOT_FOUND)
                   ? ResultCode::kCertificateNotInStore
                   : LastError::code(error);
    }
    if (!decoded.close()) {
        return LastError::code();
    }

    SecureBuffer infoBytes;
    int rc = readKeyProvInfo(found.get(), infoBytes);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(infoBytes.data());

    NarrowName container;
    rc = container.convert(info->pwszContainerName, ResultCode::kContainerNameTooLong,
                           ResultCode::kContainerNameConversion);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    NarrowName providerName;
    rc = providerName.convert(info->pwszProvName, ResultCode::kProviderNameTooLong,
                              ResultCode::kProviderNameConversion);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    providerName.replaceIf(kBaseProvider, kEnhancedProvider);

    HCRYPTPROV acquired = 0;
    if (!CryptAcquireContextA(&acquired, container.get(), providerName.get(), info->dwProvType, 0)) {
        return LastError::code();
    }
    provider.reset(acquired);
    keySpec = info->dwKeySpec;
    certificate = std::move(found);
    mustRelease = true;
    return ResultCode::kSuccess;
}
