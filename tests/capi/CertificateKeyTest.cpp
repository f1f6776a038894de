// Finding and acquiring the provider that holds a stored certificate's key.
#include "CapiTestEnvironment.h"
#include "CapiTestMaterial.h"

#include "capi/ORVcapi.h"
#include "capi/ResultCodes.h"

#include <gtest/gtest.h>

using namespace CAPIBridge;

namespace {

using namespace CapiTestMaterial;

const std::wstring kEnhanced = L"Microsoft Enhanced Cryptographic Provider v1.0";

// What getCspFromCertificate gives for a certificate looked up in MY.
struct Acquired {
    explicit Acquired(const Bytes& stored)
        : rc(ORVcapi().getCspFromCertificate(bufferOf(stored), "MY", provider, certificate, mustRelease, keySpec))
    {
    }
    CryptProvider provider;
    CertContext certificate;
    bool mustRelease = false;
    DWORD keySpec = 0;
    int rc;
};

TEST(GetCspFromCertificate, StoredCertificateYieldsItsProviderAndKeySpec)
{
    Acquired a(signerCert1());
    ASSERT_EQ(0, a.rc);
    EXPECT_TRUE(a.provider);
    EXPECT_TRUE(a.mustRelease);
    EXPECT_EQ(static_cast<DWORD>(AT_KEYEXCHANGE), a.keySpec);
    ASSERT_TRUE(a.certificate);
    const Bytes found(a.certificate.get()->pbCertEncoded,
                      a.certificate.get()->pbCertEncoded + a.certificate.get()->cbCertEncoded);
    EXPECT_EQ(signerCert1(), found);
}

TEST(GetCspFromCertificate, BaseProviderNameIsServedByTheEnhancedProvider)
{
    Acquired a(signerCert2());
    ASSERT_EQ(0, a.rc);
    char name[128] = {};
    DWORD length = sizeof name;
    ASSERT_TRUE(CryptGetProvParam(a.provider.get(), PP_NAME, reinterpret_cast<BYTE*>(name), &length, 0));
    EXPECT_STREQ("Microsoft Enhanced Cryptographic Provider v1.0", name);
}

TEST(GetCspFromCertificate, FailuresBeforeTheSearch)
{
    Acquired a(strangerCert());
    EXPECT_EQ(-512, a.rc);
    EXPECT_FALSE(a.provider);
    EXPECT_FALSE(a.certificate);

    const Acquired garbage(Bytes{0x30, 0x03, 0x02, 0x01, 0x01});
    EXPECT_NE(0, garbage.rc);
    EXPECT_FALSE(garbage.rc <= -70 && garbage.rc >= -999) << garbage.rc;
}

// The spare certificate gets key-provider information with the name under test.
int acquireWithNames(const std::wstring& container, const std::wstring& provider)
{
    CapiTestEnvironment::setKeyProvInfo(signerCert3(), container, provider, PROV_RSA_FULL, AT_KEYEXCHANGE);
    return Acquired(signerCert3()).rc;
}

TEST(GetCspFromCertificate, NameLengthLimits)
{
    const int at512 = acquireWithNames(std::wstring(512, L'c'), kEnhanced);
    EXPECT_NE(-515, at512);
    EXPECT_NE(-516, at512);
    EXPECT_EQ(-515, acquireWithNames(std::wstring(513, L'c'), kEnhanced));
    EXPECT_EQ(-517, acquireWithNames(widen(CapiTestEnvironment::kKeyContainer), std::wstring(513, L'p')));
    const int provider512 = acquireWithNames(widen(CapiTestEnvironment::kKeyContainer), std::wstring(512, L'p'));
    EXPECT_NE(-517, provider512);
    EXPECT_NE(0, provider512);
}

TEST(GetCspFromCertificate, NameWithoutMultibyteFormIsRejected)
{
    // Not representable in the C locale the tests run under. glibc's wcstombs
    // already fails to measure it, msvcrt's only fails to convert it.
#ifdef _WIN32
    EXPECT_EQ(-516, acquireWithNames(L"container-\x4e2d", kEnhanced));
    EXPECT_EQ(-518, acquireWithNames(widen(CapiTestEnvironment::kKeyContainer), L"provider-\x4e2d"));
#else
    EXPECT_EQ(-515, acquireWithNames(L"container-\x4e2d", kEnhanced));
    EXPECT_EQ(-517, acquireWithNames(widen(CapiTestEnvironment::kKeyContainer), L"provider-\x4e2d"));
#endif
}

TEST(GetCspFromCertificate, UnknownProviderReturnsTheWindowsError)
{
    EXPECT_EQ(static_cast<int>(NTE_KEYSET_NOT_DEF),
              acquireWithNames(widen(CapiTestEnvironment::kKeyContainer), L"ORV No Such Provider v0.0"));
}

} // namespace
