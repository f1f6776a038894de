// Unwrapping a session key with a stored certificate's private key.
#include "CapiTestEnvironment.h"
#include "CapiTestMaterial.h"
#include "IndependentCrypto.h"

#include "capi/ORVcapi.h"

#include <gtest/gtest.h>

#include <string>

using namespace CAPIBridge;

namespace {

using namespace CapiTestMaterial;

const Bytes kSessionKey = {0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe, 0x01, 0x23, 0x45, 0x67,
                           0x89, 0xab, 0xcd, 0xef, 0xa5, 0x5a, 0xc3, 0x3c, 0x0f, 0xf0, 0x99, 0x66};

TEST(UnwrapSessionKey, RecoversAKeyWrappedToTheCertificate)
{
    const Bytes wrapped = IndependentCrypto::wrapBigEndian(signerCert1(), kSessionKey);
    ASSERT_EQ(128u, wrapped.size());
    SecureBuffer plain;
    ORVcapi().unwrapSessionKey(bufferOf(wrapped), bufferOf(signerCert1()), "MY", plain);
    EXPECT_EQ(kSessionKey, bytesOf(plain));
}

TEST(UnwrapSessionKey, CertificateNotInStoreThrowsWith512)
{
    SecureBuffer plain;
    const UnwrapOutcome thrown =
        unwrapOutcome(IndependentCrypto::wrapBigEndian(signerCert1(), kSessionKey), strangerCert(), plain);
    ASSERT_EQ("failed", thrown.kind);
    EXPECT_EQ(-512, thrown.code);
    EXPECT_EQ("ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().. "
              "Error code HEX: 0xFFFFFE00. Error code dec: -512.\n",
              thrown.description);
    EXPECT_TRUE(plain.empty());
}

TEST(UnwrapSessionKey, ContainerWithoutTheKeyIsACancellation)
{
    CapiTestEnvironment::setKeyProvInfo(signerCert4(), widen(CapiTestEnvironment::kEmptyContainer),
                                        L"Microsoft Enhanced Cryptographic Provider v1.0", PROV_RSA_FULL,
                                        AT_KEYEXCHANGE);
    SecureBuffer plain;
    const UnwrapOutcome thrown =
        unwrapOutcome(IndependentCrypto::wrapBigEndian(signerCert1(), kSessionKey), signerCert4(), plain);
    ASSERT_EQ("cancelled", thrown.kind);
    EXPECT_EQ(static_cast<int>(NTE_NO_KEY), thrown.code);
    const std::string prefix = "ORVcapi::getPrivateKey() User cancelled during CryptGetUserKey().";
    EXPECT_EQ(prefix, thrown.description.substr(0, prefix.size()));
}

TEST(UnwrapSessionKey, DataNotWrappedToTheKeyFailsInCryptDecrypt)
{
    SecureBuffer plain;
    const UnwrapOutcome thrown =
        unwrapOutcome(IndependentCrypto::wrapBigEndian(strangerCert(), kSessionKey), signerCert1(), plain);
    ASSERT_EQ("failed", thrown.kind);
    EXPECT_EQ(static_cast<int>(NTE_BAD_DATA), thrown.code);
    const std::string prefix = "ORVcapi::unwrapSessionKey() A problem occured while calling CryptDecrypt().";
    EXPECT_EQ(prefix, thrown.description.substr(0, prefix.size()));
    EXPECT_TRUE(plain.empty());
}

TEST(GetPrivateKey, HoldsKeyAndProvider)
{
    PrivateKeyHandle key;
    ORVcapi().getPrivateKey(bufferOf(signerCert1()), "MY", key);
    EXPECT_TRUE(key.provider());
    EXPECT_TRUE(key.key());
}

} // namespace
