// Puts the cases' CryptoAPI material into Windows' own stores under Wine.
#include "CapiProvisioning.h"

#include "CaseFile.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#include <wincrypt.h>

namespace {

const char kContainer[] = "ORV_JNIHOST";
const wchar_t kContainerW[] = L"ORV_JNIHOST";
const char kEnhanced[] = "Microsoft Enhanced Cryptographic Provider v1.0";
const wchar_t kEnhancedW[] = L"Microsoft Enhanced Cryptographic Provider v1.0";

void require(bool ok, const std::string& what)
{
    if (!ok) {
        throw std::runtime_error(what + " failed, error " + std::to_string(GetLastError()));
    }
}

// Wine keeps a certificate's properties only when it is added to the
// registry store itself, not through the collection CertOpenSystemStoreA gives.
HCERTSTORE openStore(const char* name)
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name);
}

void removeFrom(const char* storeName, const std::vector<unsigned char>& der)
{
    PCCERT_CONTEXT decoded =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    HCERTSTORE store = openStore(storeName);
    if (decoded != nullptr && store != nullptr) {
        PCCERT_CONTEXT found;
        while ((found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, decoded,
                                                   nullptr)) != nullptr &&
               CertDeleteCertificateFromStore(found)) {
        }
    }
    if (store != nullptr) {
        CertCloseStore(store, 0);
    }
    if (decoded != nullptr) {
        CertFreeCertificateContext(decoded);
    }
}

void addTo(const char* storeName, const std::vector<unsigned char>& der, bool withKey)
{
    removeFrom(storeName, der);
    HCERTSTORE store = openStore(storeName);
    require(store != nullptr, std::string("opening ") + storeName);
    PCCERT_CONTEXT added = nullptr;
    BOOL ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                               CERT_STORE_ADD_NEW, &added);
    if (ok && withKey) {
        std::wstring container = kContainerW;
        std::wstring provider = kEnhancedW;
        CRYPT_KEY_PROV_INFO info{&container[0], &provider[0], PROV_RSA_FULL, 0, 0, nullptr, AT_KEYEXCHANGE};
        ok = CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
    }
    if (added != nullptr) {
        CertFreeCertificateContext(added);
    }
    CertCloseStore(store, 0);
    require(ok, std::string("adding a certificate to ") + storeName);
}

void deleteContainer()
{
    HCRYPTPROV unused = 0;
    CryptAcquireContextA(&unused, kContainer, kEnhanced, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

void importKey(const std::vector<unsigned char>& blob)
{
    deleteContainer();
    HCRYPTPROV provider = 0;
    require(CryptAcquireContextA(&provider, kContainer, kEnhanced, PROV_RSA_FULL, CRYPT_NEWKEYSET),
            "CryptAcquireContextA(CRYPT_NEWKEYSET)");
    HCRYPTKEY key = 0;
    const BOOL imported =
        CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), 0, CRYPT_EXPORTABLE, &key);
    if (imported) {
        CryptDestroyKey(key);
    }
    CryptReleaseContext(provider, 0);
    require(imported, "CryptImportKey");
}

} // namespace

CapiProvisioning::CapiProvisioning(const std::string& materialDir) : materialDir_(materialDir)
{
    importKey(CaseFile::readFile(materialDir_ + "/signer.blob"));
    addTo("MY", CaseFile::readFile(materialDir_ + "/signer.der"), true);
    for (int i = 1; i <= 24; ++i) {
        const std::string name = std::string(i < 10 ? "/many-0" : "/many-") + std::to_string(i) + ".der";
        many_.push_back(CaseFile::readFile(materialDir_ + name));
        addTo("ORVHOSTMANY", many_.back(), false);
    }
}

CapiProvisioning::~CapiProvisioning()
{
    for (const auto& der : many_) {
        removeFrom("ORVHOSTMANY", der);
    }
    removeFrom("MY", CaseFile::readFile(materialDir_ + "/signer.der"));
    deleteContainer();
}

#else

CapiProvisioning::CapiProvisioning(const std::string&)
{
    throw std::runtime_error("on Linux the stand-in's state is provisioned with orvwin");
}

CapiProvisioning::~CapiProvisioning() = default;

#endif
