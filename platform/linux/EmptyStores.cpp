// crypt32 with empty system stores: any store opens and holds nothing, so
// searches and enumerations end at once with CRYPT_E_NOT_FOUND. Certificates
// still decode into contexts of their own, so a caller gets as far as asking a
// store for one.
#include "platform/linux/ContextTable.h"
#include "platform/linux/DerCertificate.h"
#include "platform/linux/Failure.h"
#include "platform/linux/HandleTable.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace orv::platform {
namespace {

// A context with the storage its pointers refer to, never moved once built.
struct OwnContext {
    CERT_CONTEXT context{};
    CERT_INFO info{};
    DerCertificate certificate;
    char noObjectId[1] = {'\0'};
    int references = 1;
};

void setBlob(CRYPT_INTEGER_BLOB& blob, std::vector<BYTE>& bytes)
{
    blob.cbData = static_cast<DWORD>(bytes.size());
    blob.pbData = bytes.data();
}

std::unique_ptr<OwnContext> buildContext(DerCertificate certificate)
{
    auto own = std::make_unique<OwnContext>();
    own->certificate = std::move(certificate);
    DerCertificate& c = own->certificate;
    own->info.dwVersion = c.version();
    setBlob(own->info.SerialNumber, c.serial());
    setBlob(own->info.Issuer, c.issuer());
    setBlob(own->info.Subject, c.subject());
    own->info.SignatureAlgorithm.pszObjId = own->noObjectId;
    own->info.SubjectPublicKeyInfo.Algorithm.pszObjId = own->noObjectId;
    own->context.dwCertEncodingType = X509_ASN_ENCODING;
    own->context.pbCertEncoded = c.encoded().data();
    own->context.cbCertEncoded = static_cast<DWORD>(c.encoded().size());
    own->context.pCertInfo = &own->info;
    return own;
}

ContextTable<OwnContext>& liveContexts()
{
    static ContextTable<OwnContext> live;
    return live;
}

// Adds `delta` to a live context's count; false for a pointer that is not one.
bool adjustReferences(PCCERT_CONTEXT context, int delta)
{
    return liveContexts().adjust(context, delta);
}

HandleTable<std::string>& storeHandles()
{
    static HandleTable<std::string> table(0x400000);
    return table;
}

bool isStore(HCERTSTORE store)
{
    return storeHandles().find(reinterpret_cast<std::uintptr_t>(store)) != nullptr;
}

// Find and Enum free the previous context as Windows does, then find nothing.
PCCERT_CONTEXT nothingAfter(HCERTSTORE store, PCCERT_CONTEXT previous)
{
    if (previous != nullptr && !adjustReferences(previous, -1)) {
        return failNull<const CERT_CONTEXT>(E_INVALIDARG);
    }
    if (!isStore(store)) {
        return failNull<const CERT_CONTEXT>(E_INVALIDARG);
    }
    return failNull<const CERT_CONTEXT>(CRYPT_E_NOT_FOUND);
}

} // namespace
} // namespace orv::platform

using namespace orv::platform;

extern "C" {

HCERTSTORE WINAPI CertOpenSystemStoreA(HCRYPTPROV_LEGACY, LPCSTR szSubsystemProtocol)
{
    if (szSubsystemProtocol == nullptr || szSubsystemProtocol[0] == '\0') {
        return failNull<void>(E_INVALIDARG);
    }
    auto name = std::make_shared<std::string>(szSubsystemProtocol);
    return reinterpret_cast<HCERTSTORE>(storeHandles().add(std::move(name)));
}

BOOL WINAPI CertCloseStore(HCERTSTORE hCertStore, DWORD)
{
    if (hCertStore == nullptr) {
        return TRUE;
    }
    if (!storeHandles().remove(reinterpret_cast<std::uintptr_t>(hCertStore))) {
        return fail(E_INVALIDARG);
    }
    return TRUE;
}

PCCERT_CONTEXT WINAPI CertCreateCertificateContext(DWORD dwCertEncodingType, CONST BYTE* pbCertEncoded,
                                                   DWORD cbCertEncoded)
{
    if ((dwCertEncodingType & X509_ASN_ENCODING) == 0) {
        return failNull<const CERT_CONTEXT>(E_INVALIDARG);
    }
    DerCertificate certificate;
    if (LONG error = certificate.parse(pbCertEncoded, cbCertEncoded)) {
        return failNull<const CERT_CONTEXT>(error);
    }
    return liveContexts().add(buildContext(std::move(certificate)));
}

BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT pCertContext)
{
    if (pCertContext != nullptr && !adjustReferences(pCertContext, -1)) {
        return fail(E_INVALIDARG);
    }
    return TRUE;
}

PCCERT_CONTEXT WINAPI CertDuplicateCertificateContext(PCCERT_CONTEXT pCertContext)
{
    if (pCertContext != nullptr && !adjustReferences(pCertContext, +1)) {
        return failNull<const CERT_CONTEXT>(E_INVALIDARG);
    }
    return pCertContext;
}

PCCERT_CONTEXT WINAPI CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD, DWORD, DWORD, const void*,
                                                 PCCERT_CONTEXT pPrevCertContext)
{
    return nothingAfter(hCertStore, pPrevCertContext);
}

PCCERT_CONTEXT WINAPI CertEnumCertificatesInStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pPrevCertContext)
{
    return nothingAfter(hCertStore, pPrevCertContext);
}

// A context of its own carries no properties: none was ever set on it.
BOOL WINAPI CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD, void*, DWORD* pcbData)
{
    if (pcbData == nullptr || !adjustReferences(pCertContext, 0)) {
        return fail(E_INVALIDARG);
    }
    return fail(CRYPT_E_NOT_FOUND);
}

BOOL WINAPI CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD, DWORD, const void*)
{
    if (!adjustReferences(pCertContext, 0)) {
        return fail(E_INVALIDARG);
    }
    return fail(E_NOTIMPL);
}

// Nothing can be added: the stores stay empty.
BOOL WINAPI CertAddEncodedCertificateToStore(HCERTSTORE hCertStore, DWORD, CONST BYTE*, DWORD, DWORD,
                                             PCCERT_CONTEXT* ppCertContext)
{
    if (ppCertContext != nullptr) {
        *ppCertContext = nullptr;
    }
    if (!isStore(hCertStore)) {
        return fail(E_INVALIDARG);
    }
    return fail(ERROR_ACCESS_DENIED);
}

// Windows frees the context whatever the outcome; none of ours is in a store.
BOOL WINAPI CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext)
{
    adjustReferences(pCertContext, -1);
    return fail(E_INVALIDARG);
}

} // extern "C"
