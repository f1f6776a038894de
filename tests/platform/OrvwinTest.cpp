// orvwin runs as a separate process; what it provisions must be visible here
// through the Win32 calls, as Windows keeps containers and stores.
#include "TestSupport.h"

#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <sys/wait.h>

#include <cstdio>

using namespace orvtest;

namespace {

struct CommandResult {
    int status;
    std::string output;
};

CommandResult run(const std::string& arguments)
{
    std::string command = std::string(ORVWIN_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    CommandResult result{-1, ""};
    if (pipe == nullptr)
        return result;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        result.output += buffer;
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class OrvwinTest : public StateRootTest {
protected:
    std::string writePkcs12(EVP_PKEY* key, X509* cert, const char* password)
    {
        PKCS12* p12 = PKCS12_create(password, "orv", key, cert, nullptr, 0, 0, 0, 0, 0);
        std::string path = root() + "/identity.p12";
        FILE* file = std::fopen(path.c_str(), "wb");
        i2d_PKCS12_fp(file, p12);
        std::fclose(file);
        PKCS12_free(p12);
        return path;
    }
    // The key-provider information MY holds for `cert`, in `block`.
    static void provInfoInMy(X509* cert, Bytes& block)
    {
        PCCERT_CONTEXT decoded = decode(derOf(cert));
        HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
        PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                                          decoded->pCertInfo, nullptr);
        CertFreeCertificateContext(decoded);
        CertCloseStore(store, 0);
        ASSERT_NE(nullptr, found);
        DWORD size = 0;
        ASSERT_TRUE(CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
        block.resize(size);
        ASSERT_TRUE(CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, block.data(), &size));
        CertFreeCertificateContext(found);
    }
};

TEST_F(OrvwinTest, ImportedPfxIsUsableThroughCryptoApi)
{
    Pkey key = makeRsaKey(2048);
    Cert cert = makeCertificate(key.get(), "Imported", 4242);
    std::string p12 = writePkcs12(key.get(), cert.get(), "pw-123");
    CommandResult imported = run("import-pfx --store MY --container orv-imported --keyspec 2 --password pw-123 " + p12);
    ASSERT_EQ(0, imported.status) << imported.output;
    EXPECT_EQ(std::string::npos, imported.output.find("pw-123"));

    Bytes block;
    ASSERT_NO_FATAL_FAILURE(provInfoInMy(cert.get(), block));
    auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(block.data());
    EXPECT_EQ(std::wstring(L"orv-imported"), info->pwszContainerName);
    EXPECT_EQ(static_cast<DWORD>(AT_SIGNATURE), info->dwKeySpec);

    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CryptAcquireContextA(&provider, "orv-imported", MS_ENHANCED_PROV_A, info->dwProvType, 0));
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash));
    Bytes digest = sha1Of("abc");
    ASSERT_TRUE(CryptSetHashParam(hash, HP_HASHVAL, digest.data(), 0));
    Bytes signature(256);
    DWORD length = 256;
    ASSERT_TRUE(CryptSignHashA(hash, info->dwKeySpec, nullptr, 0, signature.data(), &length));
    EXPECT_TRUE(verifies(X509_get0_pubkey(cert.get()), EVP_sha1(), digest, reversed(signature)));
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
}

TEST_F(OrvwinTest, KspImportNamesTheKeyStorageProviderAndRefuseKeyToggles)
{
    Pkey key = makeRsaKey(1024);
    Cert cert = makeCertificate(key.get(), "Smart card", 77);
    std::string p12 = writePkcs12(key.get(), cert.get(), "pw");
    const std::string ksp = "--ksp 'Microsoft Smart Card Key Storage Provider' ";
    CommandResult imported = run("import-pfx --store MY --container card-key --keyspec 2 --password pw " + ksp + p12);
    ASSERT_EQ(0, imported.status) << imported.output;

    Bytes block;
    ASSERT_NO_FATAL_FAILURE(provInfoInMy(cert.get(), block));
    auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(block.data());
    EXPECT_EQ(std::wstring(L"card-key"), info->pwszContainerName);
    EXPECT_EQ(std::wstring(MS_SMART_CARD_KEY_STORAGE_PROVIDER), info->pwszProvName);
    EXPECT_EQ(0u, info->dwProvType);
    EXPECT_EQ(static_cast<DWORD>(AT_SIGNATURE), info->dwKeySpec);
    // No CryptoAPI container was made for it.
    HCRYPTPROV csp = 0;
    EXPECT_FALSE(CryptAcquireContextA(&csp, "card-key", nullptr, PROV_RSA_FULL, 0));

    NCRYPT_PROV_HANDLE provider = 0;
    NCRYPT_KEY_HANDLE cardKey = 0;
    ASSERT_EQ(ERROR_SUCCESS, NCryptOpenStorageProvider(&provider, info->pwszProvName, 0));
    ASSERT_EQ(ERROR_SUCCESS, NCryptOpenKey(provider, &cardKey, info->pwszContainerName, info->dwKeySpec, 0));
    Bytes digest(20, 9), signature(128);
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
    DWORD length = 0;
    auto sign = [&] {
        return NCryptSignHash(cardKey, &padding, digest.data(), 20, signature.data(), 128, &length, BCRYPT_PAD_PKCS1);
    };
    ASSERT_EQ(ERROR_SUCCESS, sign());
    EXPECT_TRUE(verifies(X509_get0_pubkey(cert.get()), EVP_sha1(), digest, signature));

    auto refuse = [&](const std::string& arguments) { return run("refuse-key " + ksp + "--container " + arguments); };
    CommandResult refused = refuse("card-key --status 0x800704C7");
    EXPECT_EQ(0, refused.status) << refused.output;
    EXPECT_EQ(static_cast<SECURITY_STATUS>(0x800704C7), sign());
    EXPECT_EQ(0, refuse("card-key --status 0").status);
    EXPECT_EQ(ERROR_SUCCESS, sign());
    EXPECT_EQ(0, refuse("card-key --status 1223 --at open").status);
    NCRYPT_KEY_HANDLE refusedKey = 0;
    EXPECT_EQ(ERROR_CANCELLED, NCryptOpenKey(provider, &refusedKey, L"card-key", AT_SIGNATURE, 0));
    EXPECT_EQ(ERROR_SUCCESS, sign());
    EXPECT_EQ(2, refuse("card-key --status 1223 --at later").status);
    EXPECT_EQ(0, refuse("card-key --status 0").status);
    EXPECT_EQ(1, refuse("no-such-key --status 1223").status);
    EXPECT_EQ(2, refuse("card-key --status soon").status);
    const std::string importK = "import-pfx --store MY --container k --password pw ";
    EXPECT_EQ(1, run(importK + "--ksp 'Bogus KSP' " + p12).status);
    EXPECT_EQ(1, run(importK + "--provider 'Microsoft Strong Cryptographic Provider' " + ksp + p12).status);

    NCryptFreeObject(cardKey);
    NCryptFreeObject(provider);
}

TEST_F(OrvwinTest, WrongPasswordFailsWithoutEchoingIt)
{
    Pkey key = makeRsaKey(1024);
    Cert cert = makeCertificate(key.get(), "Locked", 1);
    std::string p12 = writePkcs12(key.get(), cert.get(), "right");
    CommandResult result = run("import-pfx --store MY --container locked --password wrong-secret " + p12);
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(std::string::npos, result.output.find("wrong-secret"));
    HCRYPTPROV provider = 0;
    EXPECT_FALSE(CryptAcquireContextA(&provider, "locked", nullptr, PROV_RSA_FULL, 0));
}

TEST_F(OrvwinTest, AddCertAcceptsPemAndListShowsIt)
{
    Pkey key = makeRsaKey(1024);
    Cert cert = makeCertificate(key.get(), "Root Listed", 2);
    std::string path = root() + "/root.pem";
    FILE* file = std::fopen(path.c_str(), "w");
    PEM_write_X509(file, cert.get());
    std::fclose(file);
    CommandResult added = run("add-cert --store ROOT " + path);
    ASSERT_EQ(0, added.status) << added.output;
    CommandResult listed = run("list");
    EXPECT_EQ(0, listed.status);
    EXPECT_NE(std::string::npos, listed.output.find("CN=Root Listed"));
    HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(derOf(cert.get()), Bytes(first->pbCertEncoded, first->pbCertEncoded + first->cbCertEncoded));
    CertFreeCertificateContext(first);
    CertCloseStore(store, 0);
}

TEST_F(OrvwinTest, ImportRegReportsFileAndLine)
{
    std::string bad = writeFile("broken.reg", "REGEDIT4\n[HKLM\\X]\n\"v\"=dword:xyz\n");
    CommandResult result = run("import-reg " + bad);
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("broken.reg:3: bad dword value 'xyz'"));
    std::string good = writeFile("good.reg", "REGEDIT4\n[HKLM\\Y]\n\"v\"=\"w\"\n");
    ASSERT_EQ(0, run("import-reg " + good).status);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Y", 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_EQ(2, run("no-such-command").status);
}

} // namespace
