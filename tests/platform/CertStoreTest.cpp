#include "TestSupport.h"

#include <cstring>
#include <set>
#include <string>

using namespace orvtest;

namespace {

DWORD code(LONG value)
{
    return static_cast<DWORD>(value);
}

class Store {
public:
    explicit Store(const char* name) : handle(CertOpenSystemStoreA(0, name)) {}
    ~Store()
    {
        if (handle != nullptr)
            CertCloseStore(handle, 0);
    }
    HCERTSTORE handle;
};

class Context {
public:
    explicit Context(PCCERT_CONTEXT c = nullptr) : context(c) {}
    ~Context() { CertFreeCertificateContext(context); }
    PCCERT_CONTEXT context;
};

struct TestCert {
    Pkey key;
    Cert cert;
    Bytes der;
};

TestCert makeTestCert(const std::string& name, long serial)
{
    TestCert result;
    result.key = makeRsaKey(1024);
    result.cert = makeCertificate(result.key.get(), name, serial);
    result.der = derOf(result.cert.get());
    return result;
}

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
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = &containerName[0];
    info.pwszProvName = &provider[0];
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = keySpec;
    ASSERT_TRUE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
}

using CertStoreTest = StateRootTest;

TEST_F(CertStoreTest, CreateContextDecodesTheCertificate)
{
    TestCert test = makeTestCert("Decoded", 0x0102);
    Context context(
        CertCreateCertificateContext(X509_ASN_ENCODING, test.der.data(), static_cast<DWORD>(test.der.size())));
    ASSERT_NE(nullptr, context.context);
    EXPECT_EQ(static_cast<DWORD>(X509_ASN_ENCODING), context.context->dwCertEncodingType & X509_ASN_ENCODING);
    EXPECT_EQ(test.der, encodedOf(context.context));
    const CERT_INFO* info = context.context->pCertInfo;
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
    EXPECT_EQ(nullptr, CertCreateCertificateContext(X509_ASN_ENCODING, garbage, sizeof garbage));
    EXPECT_EQ(code(CRYPT_E_ASN1_BADTAG), GetLastError());
    TestCert test = makeTestCert("Truncated", 5);
    EXPECT_EQ(nullptr, CertCreateCertificateContext(X509_ASN_ENCODING, test.der.data(), 40));
    EXPECT_EQ(code(CRYPT_E_ASN1_BADTAG), GetLastError());
    EXPECT_EQ(nullptr, CertCreateCertificateContext(X509_ASN_ENCODING, nullptr, 0));
    EXPECT_EQ(code(CRYPT_E_ASN1_EOD), GetLastError());
    Store store("MY");
    EXPECT_FALSE(CertAddEncodedCertificateToStore(store.handle, X509_ASN_ENCODING, garbage, sizeof garbage,
                                                  CERT_STORE_ADD_NEW, nullptr));
    EXPECT_EQ(code(CRYPT_E_ASN1_BADTAG), GetLastError());
}

TEST_F(CertStoreTest, FindSubjectCertMatchesIssuerAndSerial)
{
    TestCert wanted = makeTestCert("Wanted", 0x80); // high bit: the serial carries a sign byte
    TestCert other = makeTestCert("Other", 0x81);
    {
        Store store("MY");
        ASSERT_TRUE(add(store.handle, wanted.der));
        ASSERT_TRUE(add(store.handle, other.der));
    }
    Context decoded(
        CertCreateCertificateContext(X509_ASN_ENCODING, wanted.der.data(), static_cast<DWORD>(wanted.der.size())));
    ASSERT_NE(nullptr, decoded.context);
    Store store("MY");
    Context found(CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                             decoded.context->pCertInfo, nullptr));
    ASSERT_NE(nullptr, found.context);
    EXPECT_EQ(wanted.der, encodedOf(found.context));
    Context existing(
        CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, decoded.context, nullptr));
    ASSERT_NE(nullptr, existing.context);
    EXPECT_EQ(wanted.der, encodedOf(existing.context));
}

TEST_F(CertStoreTest, FindReportsNotFound)
{
    TestCert absent = makeTestCert("Absent", 9);
    Context decoded(
        CertCreateCertificateContext(X509_ASN_ENCODING, absent.der.data(), static_cast<DWORD>(absent.der.size())));
    Store store("MY");
    SetLastError(0);
    EXPECT_EQ(nullptr, CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
                                                  decoded.context->pCertInfo, nullptr));
    EXPECT_EQ(code(CRYPT_E_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                  decoded.context, nullptr));
    EXPECT_EQ(code(CRYPT_E_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr,
              CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, nullptr, nullptr));
    EXPECT_EQ(code(E_INVALIDARG), GetLastError());
}

TEST_F(CertStoreTest, EnumerationVisitsEachCertificateOnceThenEnds)
{
    std::set<Bytes> added;
    {
        Store store("CA");
        for (long serial = 1; serial <= 3; ++serial) {
            TestCert test = makeTestCert("Enum " + std::to_string(serial), serial);
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
    EXPECT_EQ(code(CRYPT_E_NOT_FOUND), GetLastError());
    EXPECT_EQ(added, seen);
    Store empty("EMPTY");
    EXPECT_EQ(nullptr, CertEnumCertificatesInStore(empty.handle, nullptr));
    EXPECT_EQ(code(CRYPT_E_NOT_FOUND), GetLastError());
}

TEST_F(CertStoreTest, KeyProvInfoRoundTripsThroughTheFiles)
{
    TestCert test = makeTestCert("With key", 77);
    {
        Store store("MY");
        PCCERT_CONTEXT context = nullptr;
        ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_NEW, &context));
        Context owned(context);
        setKeyProvInfo(context, L"container-\u00e9", AT_SIGNATURE);
    }
    Store store("MY"); // read back from the files
    Context found(CertEnumCertificatesInStore(store.handle, nullptr));
    ASSERT_NE(nullptr, found.context);
    DWORD size = 0;
    ASSERT_TRUE(CertGetCertificateContextProperty(found.context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
    ASSERT_GT(size, sizeof(CRYPT_KEY_PROV_INFO));
    std::vector<BYTE> small(sizeof(CRYPT_KEY_PROV_INFO));
    DWORD smallSize = static_cast<DWORD>(small.size());
    EXPECT_FALSE(
        CertGetCertificateContextProperty(found.context, CERT_KEY_PROV_INFO_PROP_ID, small.data(), &smallSize));
    EXPECT_EQ(code(ERROR_MORE_DATA), GetLastError());
    EXPECT_EQ(size, smallSize);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(CertGetCertificateContextProperty(found.context, CERT_KEY_PROV_INFO_PROP_ID, block.data(), &size));
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
    TestCert test = makeTestCert("No key", 78);
    Store store("MY");
    PCCERT_CONTEXT context = nullptr;
    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_NEW, &context));
    Context owned(context);
    DWORD size = 0;
    EXPECT_FALSE(CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
    EXPECT_EQ(code(CRYPT_E_NOT_FOUND), GetLastError());
    EXPECT_FALSE(CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, nullptr));
    EXPECT_EQ(code(E_INVALIDARG), GetLastError());
}

TEST_F(CertStoreTest, AddDispositionsBehaveLikeWindows)
{
    TestCert test = makeTestCert("Twice", 12);
    Store store("MY");
    PCCERT_CONTEXT first = nullptr;
    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_NEW, &first));
    setKeyProvInfo(first, L"kept", AT_KEYEXCHANGE);
    CertFreeCertificateContext(first);
    EXPECT_FALSE(add(store.handle, test.der, CERT_STORE_ADD_NEW));
    EXPECT_EQ(code(CRYPT_E_EXISTS), GetLastError());

    PCCERT_CONTEXT existing = nullptr;
    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_USE_EXISTING, &existing));
    Context keep(existing);
    DWORD size = 0;
    EXPECT_TRUE(CertGetCertificateContextProperty(existing, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));

    ASSERT_TRUE(add(store.handle, test.der, CERT_STORE_ADD_REPLACE_EXISTING));
    EXPECT_FALSE(CertGetCertificateContextProperty(existing, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
    EXPECT_EQ(code(CRYPT_E_NOT_FOUND), GetLastError());
    EXPECT_FALSE(add(store.handle, test.der, 99));
    EXPECT_EQ(code(E_INVALIDARG), GetLastError());
}

TEST_F(CertStoreTest, DeleteRemovesFromStoreAndFiles)
{
    TestCert test = makeTestCert("Deleted", 13);
    {
        Store store("MY");
        ASSERT_TRUE(add(store.handle, test.der));
        PCCERT_CONTEXT found = CertEnumCertificatesInStore(store.handle, nullptr);
        ASSERT_NE(nullptr, found);
        EXPECT_TRUE(CertDeleteCertificateFromStore(found)); // frees `found`
    }
    Store store("MY");
    EXPECT_EQ(nullptr, CertEnumCertificatesInStore(store.handle, nullptr));
    EXPECT_EQ(code(CRYPT_E_NOT_FOUND), GetLastError());
}

TEST_F(CertStoreTest, ContextsAreReferenceCounted)
{
    TestCert test = makeTestCert("Counted", 14);
    PCCERT_CONTEXT context =
        CertCreateCertificateContext(X509_ASN_ENCODING, test.der.data(), static_cast<DWORD>(test.der.size()));
    ASSERT_NE(nullptr, context);
    EXPECT_EQ(context, CertDuplicateCertificateContext(context));
    EXPECT_TRUE(CertFreeCertificateContext(context));
    EXPECT_EQ(test.der, encodedOf(context)); // still alive: one reference left
    EXPECT_TRUE(CertFreeCertificateContext(context));
    EXPECT_FALSE(CertFreeCertificateContext(context));
    EXPECT_EQ(code(E_INVALIDARG), GetLastError());
    EXPECT_TRUE(CertFreeCertificateContext(nullptr));
}

TEST_F(CertStoreTest, ContextsOutliveTheirClosedStore)
{
    TestCert test = makeTestCert("Outlives", 15);
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    ASSERT_TRUE(add(store, test.der));
    PCCERT_CONTEXT context = CertEnumCertificatesInStore(store, nullptr);
    ASSERT_NE(nullptr, context);
    EXPECT_FALSE(CertCloseStore(store, CERT_CLOSE_STORE_CHECK_FLAG));
    EXPECT_EQ(code(CRYPT_E_PENDING_CLOSE), GetLastError());
    DWORD size = 20;
    BYTE sha1[20];
    EXPECT_TRUE(CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, sha1, &size));
    EXPECT_EQ(test.der, encodedOf(context));
    EXPECT_TRUE(CertFreeCertificateContext(context));
    EXPECT_EQ(nullptr, CertOpenSystemStoreA(0, ""));
    EXPECT_EQ(code(E_INVALIDARG), GetLastError());
}

} // namespace
