// Tests the stand-in's certificate stores: adding, finding, enumerating and key provider information.
#include "TestSupport.h"

#include <set>
#include <string>

using namespace orvtest;

namespace {

BOOL WINAPI closeStore(HCERTSTORE store)
{
    return CertCloseStore(store, 0);
}
struct Store : Owned<HCERTSTORE, closeStore> {
    explicit Store(const char* name) : Owned(CertOpenSystemStoreA(0, name)) {}
};
using Context = Owned<PCCERT_CONTEXT, CertFreeCertificateContext>;

struct TestCert {
    TestCert(const std::string& name, long serial)
        : key(makeRsaKey(1024)), cert(makeCertificate(key.get(), name, serial)), der(derOf(cert.get()))
    {
    }
    Pkey key;
    Cert cert;
    Bytes der;
};

bool add(HCERTSTORE store, const Bytes& der, DWORD disposition = CERT_STORE_ADD_REPLACE_EXISTING,
         PCCERT_CONTEXT* context = nullptr)
{
    return CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                            disposition, context) == TRUE;
}

Bytes encodedOf(PCCERT_CONTEXT context)
{
    return Bytes(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded);
}

void setKeyProvInfo(PCCERT_CONTEXT context, const wchar_t* container, DWORD keySpec)
{
    std::wstring containerName = container, provider = L"Microsoft Enhanced Cryptographic Provider v1.0";
    const CRYPT_KEY_PROV_INFO info{&containerName[0], &provider[0], PROV_RSA_FULL, 0, 0, nullptr, keySpec};
    ASSERT_TRUE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
}

BOOL provInfo(PCCERT_CONTEXT context, void* data, DWORD* size)
{
    return CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, data, size);
}

using CertStoreTest = StateRootTest;

TEST_F(CertStoreTest, CreateContextDecodesTheCertificate)
{
    TestCert test("Decoded", 0x0102);
    Context context(decode(test.der));
    ASSERT_NE(nullptr, context.handle);
    EXPECT_EQ(static_cast<DWORD>(X509_ASN_ENCODING), context.handle->dwCertEncodingType & X509_ASN_ENCODING);
    EXPECT_EQ(test.der, encodedOf(context.handle));
    const CERT_INFO* info = context.handle->pCertInfo;
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(2u, info->dwVersion);
    ASSERT_EQ(2u, info->SerialNumber.cbData);
    EXPECT_EQ(0x02, info->SerialNumber.pbData[0]); // little-endian, as CryptoAPI keeps it
    EXPECT_EQ(0x01, info->SerialNumber.pbData[1]);
    X509_NAME* issuer = X509_get_issuer_name(test.cert.get());
    Bytes issuerDer(static_cast<std::size_t>(i2d_X509_NAME(issuer, nullptr)));
    unsigned char* p = issuerDer.data();
    i2d_X509_NAME(issuer, &p);
    EXPECT_EQ(issuerDer, Bytes(info->Issuer.pbData, info->Issuer.pbData + info->Issuer.cbData));
    EXPECT_STREQ("1.2.840.113549.1.1.1", info->SubjectPublicKeyInfo.Algorithm.pszObjId);
}

TEST_F(CertStoreTest, BytesThatAreNotACertificateGiveAnAsn1Error)
{
    const BYTE garbage[] = "this is not a certificate";
    ORV_EXPECT_ERROR(nullptr, CertCreateCertificateContext(X509_ASN_ENCODING, garbage, sizeof garbage),
                     CRYPT_E_ASN1_BADTAG);
    TestCert test("Truncated", 5);
    ORV_EXPECT_ERROR(nullptr, CertCreateCertificateContext(X509_ASN_ENCODING, test.der.data(), 40),
                     CRYPT_E_ASN1_BADTAG);
    ORV_EXPECT_ERROR(nullptr, CertCreateCertificateContext(X509_ASN_ENCODING, nullptr, 0), CRYPT_E_ASN1_EOD);
    Store store("MY");
    ORV_EXPECT_FAILS(CertAddEncodedCertificateToStore(store.handle, X509_ASN_ENCODING, garbage, sizeof garbage,
                                                      CERT_STORE_ADD_NEW, nullptr),
                     CRYPT_E_ASN1_BADTAG);
}

TEST_F(CertStoreTest, FindSubjectCertMatchesIssuerAndSerial)
{
    TestCert wanted("Wanted", 0x80); // high bit: the serial carries a sign byte
    TestCert other("Other", 0x81);
    {
        Store store("MY");
        ASSERT_TRUE(add(store.handle, wanted.der));
        ASSERT_TRUE(add(store.handle, other.der));
    }
    Context decoded(decode(wanted.der));
    ASSERT_NE(nullptr, decoded.handle);
    Store store("MY");
    Context found(CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                             decoded.handle->pCertInfo, nullptr));
    ASSERT_NE(nullptr, found.handle);
    EXPECT_EQ(wanted.der, encodedOf(found.handle));
    Context existing(
        CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, decoded.handle, nullptr));
    ASSERT_NE(nullptr, existing.handle);
    EXPECT_EQ(wanted.der, encodedOf(existing.handle));
}

TEST_F(CertStoreTest, FindReportsNotFound)
{
    TestCert absent("Absent", 9);
    Context decoded(decode(absent.der));
    Store store("MY");
    SetLastError(0);
    ORV_EXPECT_ERROR(nullptr,
                     CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                                decoded.handle->pCertInfo, nullptr),
                     CRYPT_E_NOT_FOUND);
    ORV_EXPECT_ERROR(
        nullptr,
        CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, decoded.handle, nullptr),
        CRYPT_E_NOT_FOUND);
    ORV_EXPECT_ERROR(
        nullptr,
        CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, nullptr, nullptr),
        E_INVALIDARG);
}

TEST_F(CertStoreTest, EnumerationVisitsEachCertificateOnceThenEnds)
{
    std::set<Bytes> added;
    {
        Store store("CA");
        for (long serial = 1; serial <= 3; ++serial) {
            TestCert test("Enum " + std::to_string(serial), serial);
            ASSERT_TRUE(add(store.handle, test.der));
            added.insert(test.der);
        }
    }
    Store store("ca"); // store names do not depend on case
    std::set<Bytes> seen;
    PCCERT_CONTEXT context = nullptr;
    while ((context = CertEnumCertificatesInStore(store.handle, context)) != nullptr) {
        EXPECT_TRUE(seen.insert(encodedOf(context)).second);
        EXPECT_EQ(store.handle, context->hCertStore);
    }
    EXPECT_EQ(static_cast<DWORD>(CRYPT_E_NOT_FOUND), GetLastError());
    EXPECT_EQ(added, seen);
    Store empty("EMPTY");
    ORV_EXPECT_ERROR(nullptr, CertEnumCertificatesInStore(empty.handle, nullptr), CRYPT_E_NOT_FOUND);
}

TEST_F(CertStoreTest, KeyProvInfoRoundTripsThroughTheFiles)
{
    TestCert test("With key", 77);
    {
        Store store("MY");
        PCCERT_CONTEXT context = nullptr;
        ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_NEW, &context));
        Context owned(context);
        setKeyProvInfo(context, L"container-\u00e9", AT_SIGNATURE);
    }
    Store store("MY"); // read back from the files
    Context found(CertEnumCertificatesInStore(store.handle, nullptr));
    ASSERT_NE(nullptr, found.handle);
    DWORD size = 0;
    ASSERT_TRUE(provInfo(found.handle, nullptr, &size));
    ASSERT_GT(size, sizeof(CRYPT_KEY_PROV_INFO));
    std::vector<BYTE> small(sizeof(CRYPT_KEY_PROV_INFO));
    DWORD smallSize = static_cast<DWORD>(small.size());
    ORV_EXPECT_FAILS(provInfo(found.handle, small.data(), &smallSize), ERROR_MORE_DATA);
    EXPECT_EQ(size, smallSize);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(provInfo(found.handle, block.data(), &size));
    auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(block.data());
    EXPECT_EQ(std::wstring(L"container-\u00e9"), info->pwszContainerName);
    EXPECT_EQ(std::wstring(L"Microsoft Enhanced Cryptographic Provider v1.0"), info->pwszProvName);
    EXPECT_EQ(static_cast<DWORD>(PROV_RSA_FULL), info->dwProvType);
    EXPECT_EQ(static_cast<DWORD>(AT_SIGNATURE), info->dwKeySpec);
    // The strings live inside the caller's block.
    EXPECT_GE(reinterpret_cast<const BYTE*>(info->pwszContainerName), block.data());
    EXPECT_LT(reinterpret_cast<const BYTE*>(info->pwszProvName), block.data() + block.size());
}

TEST_F(CertStoreTest, MissingPropertyIsNotFound)
{
    TestCert test("No key", 78);
    Store store("MY");
    PCCERT_CONTEXT context = nullptr;
    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_NEW, &context));
    Context owned(context);
    DWORD size = 0;
    ORV_EXPECT_FAILS(provInfo(context, nullptr, &size), CRYPT_E_NOT_FOUND);
    ORV_EXPECT_FAILS(provInfo(context, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(CertStoreTest, AddDispositionsBehaveLikeWindows)
{
    TestCert test("Twice", 12);
    Store store("MY");
    PCCERT_CONTEXT first = nullptr;
    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_NEW, &first));
    setKeyProvInfo(first, L"kept", AT_KEYEXCHANGE);
    CertFreeCertificateContext(first);
    ORV_EXPECT_FAILS(add(store.handle, test.der, CERT_STORE_ADD_NEW), CRYPT_E_EXISTS);

    PCCERT_CONTEXT existing = nullptr;
    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_USE_EXISTING, &existing));
    Context keep(existing);
    DWORD size = 0;
    EXPECT_TRUE(provInfo(existing, nullptr, &size));

    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_REPLACE_EXISTING));
    ORV_EXPECT_FAILS(provInfo(existing, nullptr, &size), CRYPT_E_NOT_FOUND);
    ORV_EXPECT_FAILS(add(store.handle, test.der, 99), E_INVALIDARG);
}

TEST_F(CertStoreTest, DeleteRemovesFromStoreAndFiles)
{
    TestCert test("Deleted", 13);
    {
        Store store("MY");
        ASSERT_TRUE(add(store.handle, test.der));
        PCCERT_CONTEXT found = CertEnumCertificatesInStore(store.handle, nullptr);
        ASSERT_NE(nullptr, found);
        EXPECT_TRUE(CertDeleteCertificateFromStore(found)); // frees `found`
    }
    Store store("MY");
    ORV_EXPECT_ERROR(nullptr, CertEnumCertificatesInStore(store.handle, nullptr), CRYPT_E_NOT_FOUND);
}

TEST_F(CertStoreTest, ContextsAreReferenceCounted)
{
    TestCert test("Counted", 14);
    PCCERT_CONTEXT context = decode(test.der);
    ASSERT_NE(nullptr, context);
    EXPECT_EQ(context, CertDuplicateCertificateContext(context));
    EXPECT_TRUE(CertFreeCertificateContext(context));
    EXPECT_EQ(test.der, encodedOf(context)); // still alive: one reference left
    EXPECT_TRUE(CertFreeCertificateContext(context));
    ORV_EXPECT_FAILS(CertFreeCertificateContext(context), E_INVALIDARG);
    EXPECT_TRUE(CertFreeCertificateContext(nullptr));
}

TEST_F(CertStoreTest, ContextsOutliveTheirClosedStore)
{
    TestCert test("Outlives", 15);
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    ASSERT_TRUE(add(store, test.der));
    PCCERT_CONTEXT context = CertEnumCertificatesInStore(store, nullptr);
    ASSERT_NE(nullptr, context);
    ORV_EXPECT_FAILS(CertCloseStore(store, CERT_CLOSE_STORE_CHECK_FLAG), CRYPT_E_PENDING_CLOSE);
    DWORD size = 20;
    BYTE sha1[20];
    EXPECT_TRUE(CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, sha1, &size));
    EXPECT_EQ(test.der, encodedOf(context));
    EXPECT_TRUE(CertFreeCertificateContext(context));
    ORV_EXPECT_ERROR(nullptr, CertOpenSystemStoreA(0, ""), E_INVALIDARG);
}

} // namespace
