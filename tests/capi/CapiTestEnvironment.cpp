// Provisioning of the CryptoAPI tests' keys, containers and stores, on the stand-in and under Wine.
#include "CapiTestEnvironment.h"

#include "CapiTestMaterial.h"

#include "capi/ORVcapi.h"
#include "common/Exception.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#ifndef _WIN32
#include "tests/standin/StandInKeyStorage.h"

#include <unistd.h>
#else
#include <process.h>
#endif

using namespace CAPIBridge;

namespace {

const char* const kEnhanced = "Microsoft Enhanced Cryptographic Provider v1.0";
#ifndef _WIN32
const char* const kSmartCardKsp = "Microsoft Smart Card Key Storage Provider";
#endif

int processId()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

void require(bool ok, const char* what)
{
    if (!ok) {
        throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(GetLastError()));
    }
}

void deleteContainer(const std::string& name, const char* provider)
{
    HCRYPTPROV unused = 0;
    CryptAcquireContextA(&unused, name.c_str(), provider, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

bool containerExists(const std::string& name)
{
    HCRYPTPROV provider = 0;
    const bool exists = CryptAcquireContextA(&provider, name.c_str(), nullptr, PROV_RSA_FULL, 0);
    if (exists) {
        CryptReleaseContext(provider, 0);
    }
    return exists;
}

void createContainer(const std::string& name, const Bytes* keyBlob)
{
    deleteContainer(name, kEnhanced);
    HCRYPTPROV provider = 0;
    require(CryptAcquireContextA(&provider, name.c_str(), kEnhanced, PROV_RSA_FULL, CRYPT_NEWKEYSET),
            "CryptAcquireContextA(CRYPT_NEWKEYSET)");
    HCRYPTKEY key = 0;
    const bool imported =
        keyBlob == nullptr ||
        CryptImportKey(provider, keyBlob->data(), static_cast<DWORD>(keyBlob->size()), 0, CRYPT_EXPORTABLE, &key);
    if (key != 0) {
        CryptDestroyKey(key);
    }
    CryptReleaseContext(provider, 0);
    require(imported, "CryptImportKey");
}

const Bytes* const kSignerCertificates[] = {&CapiTestMaterial::signerCert1(), &CapiTestMaterial::signerCert2(),
                                            &CapiTestMaterial::signerCert3(), &CapiTestMaterial::signerCert4(),
                                            &CapiTestMaterial::signerCert5()};

} // namespace

std::wstring widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

SecureBuffer bufferOf(const Bytes& bytes)
{
    return SecureBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

Bytes bytesOf(const SecureBuffer& buffer)
{
    return Bytes(buffer.data(), buffer.data() + buffer.length());
}

UnwrapOutcome unwrapOutcome(const Bytes& wrapped, const Bytes& certificate, SecureBuffer& plain)
{
    UnwrapOutcome outcome;
    try {
        ORVcapi().unwrapSessionKey(bufferOf(wrapped), bufferOf(certificate), "MY", plain);
    } catch (const Common::UserCancelledException& e) {
        outcome = {"cancelled", e.getErrorCode(), e.getDescription()};
    } catch (const Common::Exception& e) {
        outcome = {"failed", e.getErrorCode(), e.getDescription()};
    }
    return outcome;
}

const std::string CapiTestEnvironment::kKeyContainer = "orv-capi-test-" + std::to_string(processId());
const std::string CapiTestEnvironment::kEmptyContainer = kKeyContainer + "-empty";
const std::string CapiTestEnvironment::kKeyStorageKey = kKeyContainer + "-ksp";
const std::string CapiTestEnvironment::kMachineKeyStorageKey = kKeyContainer + "-ksp-machine";

void CapiTestEnvironment::SetUp()
{
#ifndef _WIN32
    char pattern[] = "/tmp/orv-capi-tests-XXXXXX";
    require(mkdtemp(pattern) != nullptr, "mkdtemp");
    stateRoot_ = pattern;
    setenv("ORV_WIN32_ROOT", stateRoot_.c_str(), 1);
    const Bytes& blob = CapiTestMaterial::signerBlob();
    const auto size = static_cast<DWORD>(blob.size());
    require(orv::standin::storeKeyStorageKey(kSmartCardKsp, kKeyStorageKey, AT_KEYEXCHANGE, false, blob.data(), size),
            "storing the key storage provider's user key");
    require(
        orv::standin::storeKeyStorageKey(kSmartCardKsp, kMachineKeyStorageKey, AT_SIGNATURE, true, blob.data(), size),
        "storing the key storage provider's machine key");
#endif
    randomContainerExisted_ = containerExists("ORV_RANDOM");
    createContainer(kKeyContainer, &CapiTestMaterial::signerBlob());
    createContainer(kEmptyContainer, nullptr);
    for (const Bytes* certificate : kSignerCertificates) {
        addToMy(*certificate, nullptr);
    }
    const std::wstring container = widen(kKeyContainer);
    setKeyProvInfo(CapiTestMaterial::signerCert1(), container, widen(kEnhanced), PROV_RSA_FULL, AT_KEYEXCHANGE);
    setKeyProvInfo(CapiTestMaterial::signerCert2(), container, L"Microsoft Base Cryptographic Provider v1.0",
                   PROV_RSA_FULL, AT_KEYEXCHANGE);
}

void CapiTestEnvironment::TearDown()
{
    for (const Bytes* certificate : kSignerCertificates) {
        removeFromMy(*certificate);
    }
    deleteContainer(kKeyContainer, kEnhanced);
    deleteContainer(kEmptyContainer, kEnhanced);
    if (!randomContainerExisted_) {
        deleteContainer("ORV_RANDOM", nullptr);
    }
    if (!stateRoot_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(stateRoot_, ignored);
    }
}

// Wine writes a certificate's properties to the registry only when it is
// added to the registry store itself, not through the MY collection that
// CertOpenSystemStoreA returns, and never updates them afterwards. So changes
// go to the registry store as a remove plus a fresh add that carries them.
HCERTSTORE CapiTestEnvironment::openWritableMy()
{
#ifdef _WIN32
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY");
#else
    return CertOpenSystemStoreA(0, "MY");
#endif
}

void CapiTestEnvironment::removeFromMy(const Bytes& certificate)
{
    PCCERT_CONTEXT decoded =
        CertCreateCertificateContext(X509_ASN_ENCODING, certificate.data(), static_cast<DWORD>(certificate.size()));
    HCERTSTORE store = openWritableMy();
    PCCERT_CONTEXT found = nullptr;
    // CertDeleteCertificateFromStore frees the context either way.
    while (decoded != nullptr && store != nullptr &&
           (found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, decoded, nullptr)) !=
               nullptr &&
           CertDeleteCertificateFromStore(found)) {
    }
    if (store != nullptr) {
        CertCloseStore(store, 0);
    }
    if (decoded != nullptr) {
        CertFreeCertificateContext(decoded);
    }
}

void CapiTestEnvironment::addToMy(const Bytes& certificate, const CRYPT_KEY_PROV_INFO* info)
{
    removeFromMy(certificate);
    HCERTSTORE store = openWritableMy();
    require(store != nullptr, "opening MY");
    PCCERT_CONTEXT added = nullptr;
    BOOL ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, certificate.data(),
                                               static_cast<DWORD>(certificate.size()), CERT_STORE_ADD_NEW, &added);
    if (ok && info != nullptr) {
        ok = CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, info);
    }
    if (added != nullptr) {
        CertFreeCertificateContext(added);
    }
    CertCloseStore(store, 0);
    require(ok, "adding the certificate to MY");
}

void CapiTestEnvironment::setKeyProvInfo(const Bytes& certificate, const std::wstring& container,
                                         const std::wstring& provider, DWORD providerType, DWORD keySpec, DWORD flags)
{
    std::wstring containerCopy = container, providerCopy = provider;
    const CRYPT_KEY_PROV_INFO info{&containerCopy[0], &providerCopy[0], providerType, flags, 0, nullptr, keySpec};
    addToMy(certificate, &info);
}

// gtest_main runs the environment's SetUp before the first test.
static ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CapiTestEnvironment);
