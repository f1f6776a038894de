// Listing a system store and looking a certificate up in one.
#include "capi/ORVcapi.h"

#include "capi/LastError.h"
#include "capi/ResultCodes.h"
#include "common/Win32CallLog.h"

#include <new>

namespace CAPIBridge {

namespace {

bool isNotFound(DWORD error)
{
    return static_cast<std::int32_t>(error) == static_cast<std::int32_t>(CRYPT_E_NOT_FOUND);
}

bool isListable(PCCERT_CONTEXT certificate)
{
    return (certificate->dwCertEncodingType & X509_ASN_ENCODING) != 0 && certificate->cbCertEncoded != 0;
}

bool appendCopy(CertificateList& list, PCCERT_CONTEXT certificate) noexcept
{
    SecureBuffer copy(certificate->pbCertEncoded, certificate->cbCertEncoded);
    if (copy.empty()) {
        return false;
    }
    try {
        list.push_back(std::move(copy));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace

int ORVcapi::getCertificates(const char* storeName, std::unique_ptr<CertificateList>& certificates)
{
    certificates.reset();
    CertStore store(Common::Win32CallLog::call("CertOpenSystemStoreA", CertOpenSystemStoreA(0, storeName)));
    if (!store) {
        return LastError::code();
    }
    std::unique_ptr<CertificateList> list(new (std::nothrow) CertificateList());
    if (!list) {
        return ResultCode::kCertificateListAlloc;
    }

    // Each enumeration call frees the context it is given.
    CertContext current;
    for (;;) {
        PCCERT_CONTEXT next = Common::Win32CallLog::call("CertEnumCertificatesInStore",
                                                         CertEnumCertificatesInStore(store.get(), current.take()));
        if (next == nullptr) {
            break;
        }
        current.reset(next);
        if (isListable(next) && !appendCopy(*list, next)) {
            return ResultCode::kCertificateCopyAlloc;
        }
    }

    const DWORD error = GetLastError();
    if (!isNotFound(error)) {
        return LastError::code(error);
    }
    if (!store.close()) {
        return LastError::code();
    }
    certificates = std::move(list);
    return ResultCode::kSuccess;
}

int ORVcapi::isCertificateInStore(const SecureBuffer& encodedCertificate, const char* storeName, bool& found)
{
    found = false;
    CertContext decoded(Common::Win32CallLog::call(
        "CertCreateCertificateContext",
        CertCreateCertificateContext(X509_ASN_ENCODING, encodedCertificate.data(), encodedCertificate.length())));
    if (!decoded) {
        return LastError::code();
    }
    CertStore store(Common::Win32CallLog::call("CertOpenSystemStoreA", CertOpenSystemStoreA(0, storeName)));
    if (!store) {
        return LastError::code();
    }
    CertContext match(Common::Win32CallLog::call(
        "CertFindCertificateInStore",
        CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, decoded.get(), nullptr)));
    if (!match) {
        const DWORD error = GetLastError();
        if (!isNotFound(error)) {
            return LastError::code(error);
        }
    }
    const bool present = static_cast<bool>(match);
    if (!match.close()) {
        return LastError::code();
    }
    if (!decoded.close()) {
        return LastError::code();
    }
    found = present;
    return ResultCode::kSuccess;
}

} // namespace CAPIBridge
