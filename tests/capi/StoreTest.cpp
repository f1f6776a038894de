// Listing MY and asking whether a certificate is in it.
#include "CapiTestEnvironment.h"
#include "CapiTestMaterial.h"

#include "capi/ORVcapi.h"

#include <gtest/gtest.h>

#include <algorithm>

#ifndef _WIN32
#include "tests/standin/StandInStores.h"
#endif

using namespace CAPIBridge;

namespace {

using namespace CapiTestMaterial;

bool contains(const CertificateList& list, const Bytes& certificate)
{
    return std::any_of(list.begin(), list.end(),
                       [&](const SecureBuffer& entry) { return bytesOf(entry) == certificate; });
}

TEST(GetCertificates, ListsEveryProvisionedCertificateExactly)
{
    std::unique_ptr<CertificateList> list;
    ASSERT_EQ(0, ORVcapi().getCertificates("MY", list));
    ASSERT_TRUE(list);
    for (const Bytes* certificate : {&signerCert1(), &signerCert2(), &signerCert3(), &signerCert4()}) {
        EXPECT_TRUE(contains(*list, *certificate));
    }
    EXPECT_FALSE(contains(*list, strangerCert()));
    for (const SecureBuffer& entry : *list) {
        PCCERT_CONTEXT decoded = CertCreateCertificateContext(X509_ASN_ENCODING, entry.data(), entry.length());
        EXPECT_NE(nullptr, decoded);
        CertFreeCertificateContext(decoded);
    }
}

TEST(GetCertificates, RepeatedCallsAgree)
{
    std::unique_ptr<CertificateList> first;
    std::unique_ptr<CertificateList> second;
    ASSERT_EQ(0, ORVcapi().getCertificates("MY", first));
    ASSERT_EQ(0, ORVcapi().getCertificates("MY", second));
    ASSERT_EQ(first->size(), second->size());
    for (std::size_t i = 0; i < first->size(); ++i) {
        EXPECT_EQ(bytesOf((*first)[i]), bytesOf((*second)[i]));
    }
}

TEST(IsCertificateInStore, AnswersForPresentAndAbsentCertificates)
{
    bool found = false;
    EXPECT_EQ(0, ORVcapi().isCertificateInStore(bufferOf(signerCert1()), "MY", found));
    EXPECT_TRUE(found);
    found = true;
    EXPECT_EQ(0, ORVcapi().isCertificateInStore(bufferOf(strangerCert()), "MY", found));
    EXPECT_FALSE(found);
}

TEST(IsCertificateInStore, UndecodableCertificateReturnsTheWindowsError)
{
    const Bytes garbage = {0x01, 0x02, 0x03};
    bool found = true;
    const int rc = ORVcapi().isCertificateInStore(bufferOf(garbage), "MY", found);
    EXPECT_NE(0, rc);
    EXPECT_FALSE(rc <= -70 && rc >= -999) << rc;
    EXPECT_FALSE(found);
}

#ifndef _WIN32
// Each query closes the store it opened, whether it succeeds or fails.
TEST(Stores, QueriesLeaveNoStoreOpen)
{
    const std::size_t open = orv::standin::openStoreHandles();
    std::unique_ptr<CertificateList> list;
    bool found = false;
    EXPECT_EQ(0, ORVcapi().getCertificates("MY", list));
    EXPECT_EQ(open, orv::standin::openStoreHandles()) << "listing";
    EXPECT_NE(0, ORVcapi().getCertificates("", list));
    EXPECT_EQ(open, orv::standin::openStoreHandles()) << "listing without a name";
    for (const Bytes* certificate : {&signerCert1(), &strangerCert()}) {
        EXPECT_EQ(0, ORVcapi().isCertificateInStore(bufferOf(*certificate), "MY", found));
        EXPECT_EQ(open, orv::standin::openStoreHandles()) << "looking up, found: " << found;
    }
    EXPECT_NE(0, ORVcapi().isCertificateInStore(bufferOf(signerCert1()), "", found));
    EXPECT_EQ(open, orv::standin::openStoreHandles()) << "looking up without a store name";
}
#endif

TEST(Stores, ConcurrentQueriesAgree)
{
    std::vector<int> failures(4, 0);
    onThreads(4, [&failures](std::size_t t) {
        for (int i = 0; i < 10; ++i) {
            bool found = false;
            std::unique_ptr<CertificateList> list;
            if (ORVcapi().isCertificateInStore(bufferOf(signerCert1()), "MY", found) != 0 || !found ||
                ORVcapi().getCertificates("MY", list) != 0 || !contains(*list, signerCert4())) {
                ++failures[t];
            }
        }
    });
    EXPECT_EQ(std::vector<int>(4, 0), failures);
}

} // namespace
