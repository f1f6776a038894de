// Signing a digest with a stored certificate's key; every signature is checked
// against the certificate's public key outside the bridge.
#include "CapiTestEnvironment.h"
#include "CapiTestMaterial.h"
#include "IndependentCrypto.h"

#include "capi/LastError.h"
#include "capi/ORVcapi.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "tests/standin/StandInContainers.h"
#endif

using namespace CAPIBridge;

namespace {

using namespace CapiTestMaterial;
using IndependentCrypto::Hash;

const Bytes kMessage = {'o', 'r', 'v', 'n', 'a', 't', 'i', 'v', 'e'};

int wrap(const Bytes& digest, int hashType, const Bytes& certificate, int keySpec, SecureBuffer& signature)
{
    return ORVcapi().wrapDigest(bufferOf(digest), hashType, bufferOf(certificate), "MY", signature, keySpec);
}

TEST(WrapDigest, Sha1AndMd5SignaturesVerify)
{
    for (Hash hash : {Hash::Sha1, Hash::Md5}) {
        const Bytes digest = IndependentCrypto::digestOf(hash, kMessage);
        SecureBuffer signature;
        ASSERT_EQ(0, wrap(digest, hash == Hash::Sha1 ? 1 : 2, signerCert1(), AT_SIGNATURE, signature));
        ASSERT_EQ(128u, signature.length());
        EXPECT_TRUE(IndependentCrypto::verifies(signerCert1(), hash, digest, bytesOf(signature)));
        // Checks that verification can fail at all.
        const Bytes other = IndependentCrypto::digestOf(hash, Bytes{'x'});
        EXPECT_FALSE(IndependentCrypto::verifies(signerCert1(), hash, other, bytesOf(signature)));
    }
}

TEST(WrapDigest, BaseProviderCertificateSigns)
{
    const Bytes digest = IndependentCrypto::digestOf(Hash::Sha1, kMessage);
    SecureBuffer signature;
    ASSERT_EQ(0, wrap(digest, 1, signerCert2(), AT_SIGNATURE, signature));
    EXPECT_TRUE(IndependentCrypto::verifies(signerCert2(), Hash::Sha1, digest, bytesOf(signature)));
}

TEST(WrapDigest, ArgumentChecksComeBeforeTheStore)
{
    const Bytes sha1(20, 1);
    const Bytes md5(16, 1);
    SecureBuffer signature;
    EXPECT_EQ(-592, wrap(sha1, 0, signerCert1(), AT_SIGNATURE, signature));
    EXPECT_EQ(-592, wrap(sha1, 3, signerCert1(), AT_SIGNATURE, signature));
    EXPECT_EQ(-593, wrap(sha1, 2, signerCert1(), AT_SIGNATURE, signature));
    EXPECT_EQ(-593, wrap(md5, 1, signerCert1(), AT_SIGNATURE, signature));
    EXPECT_EQ(-601, wrap(sha1, 1, signerCert1(), 0, signature));
    EXPECT_EQ(-601, wrap(sha1, 1, signerCert1(), 3, signature));
    // Argument checks win even for a certificate that is not in the store.
    EXPECT_EQ(-601, wrap(sha1, 1, strangerCert(), 7, signature));
    EXPECT_TRUE(signature.empty());
}

TEST(WrapDigest, CertificateNotInStoreReturns590)
{
    SecureBuffer signature;
    EXPECT_EQ(-590, wrap(Bytes(20, 1), 1, strangerCert(), AT_SIGNATURE, signature));
    EXPECT_TRUE(signature.empty());
}

TEST(WrapDigest, KeySpecOneNeedsADssProvider)
{
    // The RSA provider lists no DSS signature: released and reported.
    SecureBuffer signature;
    EXPECT_EQ(-599, wrap(Bytes(20, 1), 1, signerCert1(), AT_KEYEXCHANGE, signature));
    EXPECT_EQ(-599, wrap(Bytes(16, 1), 2, signerCert1(), AT_KEYEXCHANGE, signature));
    EXPECT_TRUE(signature.empty());
}

TEST(WrapDigest, ContainerWithoutTheKeyCountsAsCancelled)
{
    CapiTestEnvironment::setKeyProvInfo(signerCert4(), widen(CapiTestEnvironment::kEmptyContainer),
                                        L"Microsoft Enhanced Cryptographic Provider v1.0", PROV_RSA_FULL,
                                        AT_KEYEXCHANGE);
    SecureBuffer signature;
    EXPECT_EQ(-999, wrap(Bytes(20, 1), 1, signerCert4(), AT_SIGNATURE, signature));
    EXPECT_TRUE(signature.empty());
}

// Which errors of a key use count as the user's refusal: ERROR_CANCELLED only
// from the call that produces the signature, never from a length query, a
// key lookup or a decryption.
TEST(CancellationSet, RefusalsOfTheKeyAndTheCancelledSignature)
{
    using LastError::Cancellation;
    for (DWORD refusal : {static_cast<DWORD>(0), static_cast<DWORD>(NTE_FAIL), static_cast<DWORD>(NTE_NO_KEY),
                          static_cast<DWORD>(NTE_BAD_KEYSET)}) {
        EXPECT_TRUE(LastError::isCancellation(refusal, Cancellation::KeyUse)) << refusal;
        EXPECT_TRUE(LastError::isCancellation(refusal, Cancellation::SignatureOutput)) << refusal;
    }
    EXPECT_FALSE(LastError::isCancellation(ERROR_CANCELLED, Cancellation::KeyUse));
    EXPECT_TRUE(LastError::isCancellation(ERROR_CANCELLED, Cancellation::SignatureOutput));
    for (DWORD other :
         {static_cast<DWORD>(NTE_BAD_KEY), static_cast<DWORD>(NTE_BAD_HASH), static_cast<DWORD>(NTE_KEYSET_NOT_DEF),
          static_cast<DWORD>(ERROR_MORE_DATA), static_cast<DWORD>(CRYPT_E_NOT_FOUND)}) {
        EXPECT_FALSE(LastError::isCancellation(other, Cancellation::KeyUse)) << other;
        EXPECT_FALSE(LastError::isCancellation(other, Cancellation::SignatureOutput)) << other;
    }
    EXPECT_EQ(-998, LastError::code(0));
    EXPECT_EQ(-2146893802, LastError::code(static_cast<DWORD>(NTE_BAD_KEYSET)));
    EXPECT_EQ(1223, LastError::code(ERROR_CANCELLED));
}

#ifndef _WIN32
// A provider reports the user's cancelled PIN prompt on the call that signs:
// -999; on the length query ERROR_CANCELLED is a plain Windows error.
TEST(WrapDigest, CancelOnTheSigningCallIsTheUsersRefusal)
{
    using orv::standin::CancelSigning;
    const std::string& container = CapiTestEnvironment::kKeyContainer;
    CapiTestEnvironment::setKeyProvInfo(signerCert4(), widen(container),
                                        L"Microsoft Enhanced Cryptographic Provider v1.0", PROV_RSA_FULL,
                                        AT_KEYEXCHANGE);
    SecureBuffer signature;
    EXPECT_TRUE(orv::standin::cancelSigning(container, CancelSigning::AtSignature));
    const int atSignature = wrap(Bytes(20, 1), 1, signerCert4(), AT_SIGNATURE, signature);
    EXPECT_TRUE(orv::standin::cancelSigning(container, CancelSigning::AtSizeQuery));
    const int atSizeQuery = wrap(Bytes(20, 1), 1, signerCert4(), AT_SIGNATURE, signature);
    ASSERT_TRUE(orv::standin::cancelSigning(container, CancelSigning::Never));
    EXPECT_EQ(-999, atSignature);
    EXPECT_EQ(1223, atSizeQuery);
    EXPECT_TRUE(signature.empty());
    EXPECT_EQ(0, wrap(Bytes(20, 1), 1, signerCert4(), AT_SIGNATURE, signature));
}
#endif

TEST(WrapDigest, UnknownProviderReturnsTheWindowsError)
{
    CapiTestEnvironment::setKeyProvInfo(signerCert4(), widen(CapiTestEnvironment::kKeyContainer),
                                        L"ORV No Such Provider v0.0", PROV_RSA_FULL, AT_KEYEXCHANGE);
    SecureBuffer signature;
    EXPECT_EQ(static_cast<int>(NTE_KEYSET_NOT_DEF), wrap(Bytes(20, 1), 1, signerCert4(), AT_SIGNATURE, signature));
}

TEST(WrapDigest, ConcurrentSignaturesAllVerify)
{
    std::vector<int> good(4, 0);
    onThreads(4, [&good](std::size_t t) {
        for (int i = 0; i < 5; ++i) {
            const Bytes message = {static_cast<unsigned char>(t), static_cast<unsigned char>(i)};
            const Bytes digest = IndependentCrypto::digestOf(Hash::Sha1, message);
            SecureBuffer signature;
            if (wrap(digest, 1, signerCert1(), AT_SIGNATURE, signature) == 0 &&
                IndependentCrypto::verifies(signerCert1(), Hash::Sha1, digest, bytesOf(signature))) {
                ++good[t];
            }
        }
    });
    EXPECT_EQ(std::vector<int>(4, 5), good);
}

} // namespace
