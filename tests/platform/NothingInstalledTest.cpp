// The shipped Linux layer answers as a Windows with nothing Windows-only
// installed: no CryptoAPI provider, empty system stores, an empty registry, no
// windows, no ncrypt.dll. Certificates are made by OpenSSL, not by the layer.
#include "TestSupport.h"

using namespace orvtest;

namespace {

TEST(NothingInstalled, NoProviderCanBeAcquired)
{
    HCRYPTPROV provider = 77;
    ORV_EXPECT_FAILS(CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT),
                     NTE_KEYSET_NOT_DEF);
    EXPECT_EQ(0u, provider);
    ORV_EXPECT_FAILS(CryptAcquireContextA(&provider, "box", nullptr, PROV_RSA_FULL, 0), NTE_PROV_TYPE_NOT_DEF);
    BYTE random[4];
    ORV_EXPECT_FAILS(CryptGenRandom(provider, sizeof random, random), NTE_BAD_UID);
    ORV_EXPECT_FAILS(CryptDestroyKey(1), NTE_BAD_KEY);
    ORV_EXPECT_FAILS(CryptSignHashA(1, AT_SIGNATURE, nullptr, 0, random, nullptr), NTE_BAD_HASH);
    char text[64];
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(NTE_KEYSET_NOT_DEF), 0, text,
                             sizeof text, nullptr),
              0u);
    EXPECT_STREQ("The keyset is not defined.\r\n", text);
}

TEST(NothingInstalled, StoresOpenEmptyAndCertificatesStillDecode)
{
    Pkey key = makeRsaKey();
    Cert cert = makeCertificate(key.get(), "Someone", 0x0102A3, "Issuer CA");
    Bytes der = derOf(cert.get());
    Owned<PCCERT_CONTEXT, CertFreeCertificateContext> context(decode(der));
    ASSERT_NE(nullptr, context.handle);
    const CERT_INFO& info = *context.handle->pCertInfo;
    EXPECT_EQ(Bytes({0xA3, 0x02, 0x01}), Bytes(info.SerialNumber.pbData, info.SerialNumber.pbData + 3));
    EXPECT_EQ(3u, info.SerialNumber.cbData);
    EXPECT_EQ(2u, info.dwVersion);
    unsigned char* issuer = nullptr;
    int issuerLength = i2d_X509_NAME(X509_get_issuer_name(cert.get()), &issuer);
    EXPECT_EQ(Bytes(issuer, issuer + issuerLength), Bytes(info.Issuer.pbData, info.Issuer.pbData + info.Issuer.cbData));
    OPENSSL_free(issuer);
    EXPECT_EQ(der, Bytes(context.handle->pbCertEncoded, context.handle->pbCertEncoded + context.handle->cbCertEncoded));

    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    ASSERT_NE(nullptr, store);
    ORV_EXPECT_ERROR(nullptr, CertEnumCertificatesInStore(store, nullptr), CRYPT_E_NOT_FOUND);
    // The previous context is freed, as by Windows: one reference is left.
    PCCERT_CONTEXT previous = CertDuplicateCertificateContext(context.handle);
    ORV_EXPECT_ERROR(nullptr,
                     CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &info, previous),
                     CRYPT_E_NOT_FOUND);
    DWORD size = 0;
    ORV_EXPECT_FAILS(CertGetCertificateContextProperty(context.handle, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size),
                     CRYPT_E_NOT_FOUND);
    ORV_EXPECT_FAILS(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                      static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW, nullptr),
                     ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CertCloseStore(store, 0));
    ORV_EXPECT_FAILS(CertCloseStore(store, 0), E_INVALIDARG);
    EXPECT_TRUE(CertFreeCertificateContext(context.handle));
    ORV_EXPECT_FAILS(CertFreeCertificateContext(context.handle), E_INVALIDARG);
    context.handle = nullptr;
}

TEST(NothingInstalled, OnlyWholeCertificatesDecode)
{
    Pkey key = makeRsaKey();
    Bytes der = derOf(makeCertificate(key.get(), "Cut", 5).get());
    ORV_EXPECT_ERROR(nullptr, decode(Bytes(der.begin(), der.end() - 1)), CRYPT_E_ASN1_BADTAG);
    ORV_EXPECT_ERROR(nullptr, decode(Bytes{'n', 'o', 't', ' ', 'D', 'E', 'R'}), CRYPT_E_ASN1_BADTAG);
    ORV_EXPECT_ERROR(nullptr, decode(Bytes{0x30, 0x03, 0x02, 0x01, 0x01}), CRYPT_E_ASN1_BADTAG);
    ORV_EXPECT_ERROR(nullptr, CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), 0), CRYPT_E_ASN1_EOD);
}

TEST(NothingInstalled, RegistryRootsAreEmpty)
{
    HKEY key = HKEY_CURRENT_USER;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key));
    char name[32];
    DWORD length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Value", nullptr, nullptr, nullptr, &length));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(reinterpret_cast<HKEY>(0x1234), "", 0, KEY_READ, &key));
}

TEST(NothingInstalled, NoWindowsAndNoNcrypt)
{
    EXPECT_EQ(nullptr, FindWindowA(nullptr, "Access Bridge status"));
    ORV_EXPECT_FAILS(PostMessageA(nullptr, WM_QUIT, 0, 0), ERROR_INVALID_WINDOW_HANDLE);
    ORV_EXPECT_ERROR(nullptr, LoadLibraryA("ncrypt.dll"), ERROR_MOD_NOT_FOUND);
    ORV_EXPECT_ERROR(nullptr, LoadLibraryA("C:\\Windows\\System32\\NCRYPT.DLL"), ERROR_MOD_NOT_FOUND);
    NCRYPT_PROV_HANDLE provider = 5;
    EXPECT_EQ(NTE_BAD_PROVIDER, NCryptOpenStorageProvider(&provider, MS_KEY_STORAGE_PROVIDER, 0));
    EXPECT_EQ(0u, provider);
}

} // namespace
