// Certificates whose key a key storage provider (CNG) holds: the signature and
// the unwrapped key must be byte-equal to what the CryptoAPI path gives for
// the same key, with its codes and exceptions. An in-memory CNG key runs under
// Wine too (Wine 8 signs with one but opens no stored key and decrypts
// nothing); stored keys, refusals and the machine flag need the stand-in.
#include "CapiTestEnvironment.h"
#include "CapiTestMaterial.h"
#include "IndependentCrypto.h"

#include "capi/LastError.h"
#include "capi/NcryptFunctions.h"
#include "capi/ORVcapi.h"

#ifndef _WIN32
#include "tests/standin/StandInKeyStorage.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>

using namespace CAPIBridge;

namespace {

using namespace CapiTestMaterial;
using IndependentCrypto::Hash;

const Bytes kMessage = {'k', 'e', 'y', ' ', 's', 't', 'o', 'r', 'a', 'g', 'e'};
const Bytes kSessionKey = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB};
// What CNG answers when the user cancels.
const LONG kCngCancels[] = {ERROR_CANCELLED, static_cast<LONG>(0x800704C7), SCARD_W_CANCELLED_BY_USER,
                            NTE_USER_CANCELLED};

// What the CryptoAPI path signs for the same key (signerCert1's container).
Bytes cspSignature(const Bytes& digest, Hash hash)
{
    SecureBuffer signature;
    EXPECT_EQ(0, ORVcapi().wrapDigest(bufferOf(digest), hash == Hash::Sha1 ? 1 : 2, bufferOf(signerCert1()), "MY",
                                      signature, AT_SIGNATURE));
    return bytesOf(signature);
}

// The signer's PRIVATEKEYBLOB (little-endian numbers after BLOBHEADER and
// RSAPUBKEY) rewritten as CNG's BCRYPT_RSAPRIVATE_BLOB (big-endian).
Bytes bcryptBlobOfSigner()
{
    const Bytes& legacy = signerBlob();
    auto number = [&](std::size_t offset, std::size_t length) {
        const auto end = legacy.rbegin() + static_cast<long>(legacy.size() - offset);
        return Bytes(end - static_cast<long>(length), end);
    };
    const std::uint32_t bits = legacy[12] | (legacy[13] << 8) | (legacy[14] << 16) | (std::uint32_t(legacy[15]) << 24);
    const std::size_t header = 8 + 12, full = bits / 8, half = bits / 16;
    Bytes exponent = number(16, 4);
    exponent.erase(exponent.begin(), std::find_if(exponent.begin(), exponent.end(), [](unsigned char b) { return b; }));
    const Bytes parts[] = {exponent, number(header, full), number(header + full, half),
                           number(header + full + half, half)};
    BCRYPT_RSAKEY_BLOB head{BCRYPT_RSAPRIVATE_MAGIC, bits,
                            ULONG(parts[0].size()),  ULONG(parts[1].size()),
                            ULONG(parts[2].size()),  ULONG(parts[3].size())};
    Bytes blob(reinterpret_cast<unsigned char*>(&head), reinterpret_cast<unsigned char*>(&head) + sizeof head);
    for (const Bytes& part : parts) {
        blob.insert(blob.end(), part.begin(), part.end());
    }
    return blob;
}

// The signer's key imported into the software provider, in memory only. CNG
// is bound as the bridge binds it, so the program starts without ncrypt.dll.
class InMemoryKeyStorageKey : public ::testing::Test {
protected:
    void SetUp() override
    {
        NCRYPT_PROV_HANDLE provider = 0;
        NCRYPT_KEY_HANDLE imported = 0;
        ASSERT_EQ(ERROR_SUCCESS, NcryptFunctions::get().openStorageProvider(&provider, MS_KEY_STORAGE_PROVIDER, 0));
        const auto import = reinterpret_cast<decltype(&NCryptImportKey)>(
            reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("ncrypt.dll"), "NCryptImportKey")));
        Bytes blob = bcryptBlobOfSigner();
        const SECURITY_STATUS status = import(provider, 0, BCRYPT_RSAPRIVATE_BLOB, nullptr, &imported, blob.data(),
                                              static_cast<DWORD>(blob.size()), 0);
        key_.adopt(provider, imported);
        ASSERT_EQ(ERROR_SUCCESS, status);
    }
    CngPrivateKey key_;
};

TEST_F(InMemoryKeyStorageKey, IsAnRsaKeyThatListsBothHashes)
{
    ProviderAlgorithms algorithms;
    algorithms.dssSign = true;
    ASSERT_EQ(0, ORVcapi().getKeyAlgorithms(key_, algorithms));
    EXPECT_TRUE(algorithms.sha1);
    EXPECT_TRUE(algorithms.md5);
    EXPECT_TRUE(algorithms.rsaSign);
    EXPECT_TRUE(algorithms.rsaKeyExchange);
    EXPECT_FALSE(algorithms.dssSign);
}

TEST_F(InMemoryKeyStorageKey, SignsByteEqualToCryptSignHash)
{
    ProviderAlgorithms algorithms;
    ASSERT_EQ(0, ORVcapi().getKeyAlgorithms(key_, algorithms));
    for (Hash hash : {Hash::Sha1, Hash::Md5}) {
        const Bytes digest = IndependentCrypto::digestOf(hash, kMessage);
        SecureBuffer signature;
        ASSERT_EQ(0, ORVcapi().signDigestWithKey(key_, hash == Hash::Sha1 ? CALG_SHA1 : CALG_MD5, bufferOf(digest),
                                                 signature));
        ASSERT_EQ(128u, signature.length());
        EXPECT_TRUE(IndependentCrypto::verifies(signerCert1(), hash, digest, bytesOf(signature)));
        EXPECT_EQ(cspSignature(digest, hash), bytesOf(signature));
    }
}

TEST_F(InMemoryKeyStorageKey, DecryptsTheBigEndianWrappedKey)
{
    Bytes wrapped = IndependentCrypto::wrapBigEndian(signerCert1(), kSessionKey);
    DWORD length = 0;
    if (NcryptFunctions::get().decrypt(key_.key(), wrapped.data(), static_cast<DWORD>(wrapped.size()), nullptr, nullptr,
                                       0, &length, NCRYPT_PAD_PKCS1_FLAG) == NTE_NOT_SUPPORTED) {
        GTEST_SKIP() << "this CNG cannot decrypt (Wine 8 has no NCryptDecrypt)";
    }
    SecureBuffer plain;
    ORVcapi().decryptWithKey(key_, bufferOf(wrapped), plain);
    EXPECT_EQ(kSessionKey, bytesOf(plain));
    SecureBuffer viaCsp;
    ORVcapi().unwrapSessionKey(bufferOf(wrapped), bufferOf(signerCert1()), "MY", viaCsp);
    EXPECT_EQ(bytesOf(viaCsp), bytesOf(plain));
}

TEST_F(InMemoryKeyStorageKey, RefusesHashesOtherThanSha1AndMd5)
{
    for (ALG_ID other : {ALG_ID(CALG_SHA_256), ALG_ID(CALG_SHA_512), ALG_ID(0)}) {
        SecureBuffer signature;
        EXPECT_EQ(-592, ORVcapi().signDigestWithKey(key_, other, bufferOf(Bytes(20, 7)), signature)) << other;
        EXPECT_TRUE(signature.empty());
    }
}

TEST(KeyStorageByteOrder, RsaReversedWholeDssPerHalf)
{
    unsigned char rsa[] = {1, 2, 3, 4, 5};
    CngPrivateKey::toCryptoApiOrder(rsa, sizeof rsa, false);
    EXPECT_EQ(Bytes({5, 4, 3, 2, 1}), Bytes(rsa, rsa + sizeof rsa));
    // CNG gives r || s big-endian; CryptoAPI r and s each little-endian.
    unsigned char dss[] = {0x11, 0x12, 0x13, 0x21, 0x22, 0x23};
    CngPrivateKey::toCryptoApiOrder(dss, sizeof dss, true);
    EXPECT_EQ(Bytes({0x13, 0x12, 0x11, 0x23, 0x22, 0x21}), Bytes(dss, dss + sizeof dss));
}

TEST(KeyStorageCancellation, CngCancelAnswersJoinTheCryptoApiSet)
{
    for (const DWORD error : kCngCancels) {
        EXPECT_TRUE(LastError::isCancellation(error, LastError::Cancellation::KeyStorage)) << std::hex << error;
        EXPECT_TRUE(LastError::isUserCancel(error)) << std::hex << error;
    }
    // The CryptoAPI rule stays as it was: only the signing call counts ERROR_CANCELLED.
    EXPECT_FALSE(LastError::isCancellation(static_cast<DWORD>(SCARD_W_CANCELLED_BY_USER),
                                           LastError::Cancellation::SignatureOutput));
    EXPECT_FALSE(LastError::isCancellation(ERROR_CANCELLED, LastError::Cancellation::KeyUse));
    for (DWORD error :
         {DWORD(0), static_cast<DWORD>(NTE_FAIL), static_cast<DWORD>(NTE_NO_KEY), static_cast<DWORD>(NTE_BAD_KEYSET)}) {
        EXPECT_TRUE(LastError::isCancellation(error, LastError::Cancellation::KeyStorage)) << std::hex << error;
        EXPECT_FALSE(LastError::isUserCancel(error)) << std::hex << error;
    }
    for (DWORD error : {static_cast<DWORD>(NTE_BAD_DATA), static_cast<DWORD>(NTE_NOT_SUPPORTED),
                        static_cast<DWORD>(NTE_PERM), DWORD(0x80070000u)}) {
        EXPECT_FALSE(LastError::isCancellation(error, LastError::Cancellation::KeyStorage)) << std::hex << error;
    }
}

int wrap(const Bytes& digest, int hashType, int keySpec, SecureBuffer& signature)
{
    return ORVcapi().wrapDigest(bufferOf(digest), hashType, bufferOf(signerCert5()), "MY", signature, keySpec);
}

std::string descriptionOf(const char* message, std::int32_t code)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s. Error code HEX: 0x%X. Error code dec: %d.\n", message,
                  static_cast<unsigned>(code), code);
    return text;
}

// Run by capi_tests_without_ncrypt, where ncrypt.dll is missing: the key takes
// the CryptoAPI step, and fails with what CryptAcquireContextA answers for it.
TEST(KeyStorageWithoutNcrypt, KeyTakesTheCryptoApiStep)
{
    if (HMODULE ncrypt = LoadLibraryA("ncrypt.dll")) {
        FreeLibrary(ncrypt);
        GTEST_SKIP() << "ncrypt.dll is there";
    }
    CapiTestEnvironment::setKeyProvInfo(signerCert5(), L"orv-any-key", MS_SMART_CARD_KEY_STORAGE_PROVIDER, 0,
                                        AT_KEYEXCHANGE);
    HCRYPTPROV acquired = 0;
    ASSERT_FALSE(CryptAcquireContextA(&acquired, "orv-any-key", "Microsoft Smart Card Key Storage Provider", 0, 0));
    const auto code = static_cast<std::int32_t>(GetLastError());
    ASSERT_NE(0, code);
    SecureBuffer signature, plain;
    EXPECT_EQ(code, wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
    EXPECT_TRUE(signature.empty());
    const UnwrapOutcome thrown = unwrapOutcome(Bytes(128, 1), signerCert5(), plain);
    ASSERT_EQ("failed", thrown.kind);
    EXPECT_EQ(descriptionOf("ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().", code),
              thrown.description);
}

#ifdef _WIN32

// Wine keeps the certificate's key-provider information but holds no such CNG
// key: what CNG answers when the key is opened (Wine 8: NTE_NOT_SUPPORTED) is
// the bridge's answer, where the CryptoAPI path would give
// CryptAcquireContextA's NTE_BAD_PROV_TYPE.
TEST(KeyStorageCertificateUnderWine, GoesThroughCng)
{
    CapiTestEnvironment::setKeyProvInfo(signerCert5(), L"orv-wine-card-key", MS_SMART_CARD_KEY_STORAGE_PROVIDER, 0,
                                        AT_KEYEXCHANGE);
    const NcryptFunctions& ncrypt = NcryptFunctions::get();
    NCRYPT_PROV_HANDLE provider = 0;
    NCRYPT_KEY_HANDLE opened = 0;
    SECURITY_STATUS status = ncrypt.openStorageProvider(&provider, MS_SMART_CARD_KEY_STORAGE_PROVIDER, 0);
    if (status == ERROR_SUCCESS) {
        status = ncrypt.openKey(provider, &opened, L"orv-wine-card-key", AT_KEYEXCHANGE, 0);
        ncrypt.freeObject(provider);
    }
    ASSERT_NE(ERROR_SUCCESS, status) << "Wine opened a key it does not hold";
    const auto code = static_cast<std::int32_t>(status);
    SecureBuffer signature;
    EXPECT_EQ(code, wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
    EXPECT_TRUE(signature.empty());
    SecureBuffer plain;
    const UnwrapOutcome thrown = unwrapOutcome(Bytes(128, 1), signerCert5(), plain);
    ASSERT_EQ("failed", thrown.kind);
    EXPECT_EQ(descriptionOf("ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().", code),
              thrown.description);
}

#else

const wchar_t kSmartCardKsp[] = L"Microsoft Smart Card Key Storage Provider";

// signerCert5 in MY, its key-provider information naming a key storage
// provider's key. Every handle opened during a test must be freed by its end.
class StoredKeyStorageKey : public ::testing::Test {
protected:
    void SetUp() override
    {
        useKey(CapiTestEnvironment::kKeyStorageKey, AT_KEYEXCHANGE);
        handlesBefore_ = orv::standin::openKeyStorageHandles();
    }
    void TearDown() override
    {
        orv::standin::refuseKeyStorageKey("Microsoft Smart Card Key Storage Provider",
                                          CapiTestEnvironment::kKeyStorageKey, false, 0);
        EXPECT_EQ(handlesBefore_, orv::standin::openKeyStorageHandles()) << "a CNG handle was not freed";
    }

    static void useKey(const std::string& name, DWORD keySpec, DWORD flags = 0,
                       const std::wstring& provider = kSmartCardKsp)
    {
        CapiTestEnvironment::setKeyProvInfo(signerCert5(), widen(name), provider, 0, keySpec, flags);
    }

    static void refuse(LONG status, orv::standin::RefuseAt at = orv::standin::RefuseAt::Use)
    {
        ASSERT_TRUE(orv::standin::refuseKeyStorageKey("Microsoft Smart Card Key Storage Provider",
                                                      CapiTestEnvironment::kKeyStorageKey, false, status, at));
    }

    static Bytes wrappedSessionKey() { return IndependentCrypto::wrapBigEndian(signerCert5(), kSessionKey); }

private:
    std::size_t handlesBefore_ = 0;
};

TEST_F(StoredKeyStorageKey, WrapDigestIsByteEqualToTheCspPath)
{
    for (Hash hash : {Hash::Sha1, Hash::Md5}) {
        const Bytes digest = IndependentCrypto::digestOf(hash, kMessage);
        SecureBuffer signature;
        ASSERT_EQ(0, wrap(digest, hash == Hash::Sha1 ? 1 : 2, AT_SIGNATURE, signature));
        EXPECT_TRUE(IndependentCrypto::verifies(signerCert5(), hash, digest, bytesOf(signature)));
        EXPECT_EQ(cspSignature(digest, hash), bytesOf(signature));
    }
}

TEST_F(StoredKeyStorageKey, UnwrapIsEqualToTheCspPath)
{
    const Bytes wrapped = wrappedSessionKey();
    SecureBuffer plain, viaCsp;
    ORVcapi().unwrapSessionKey(bufferOf(wrapped), bufferOf(signerCert5()), "MY", plain);
    EXPECT_EQ(kSessionKey, bytesOf(plain));
    ORVcapi().unwrapSessionKey(bufferOf(wrapped), bufferOf(signerCert1()), "MY", viaCsp);
    EXPECT_EQ(bytesOf(viaCsp), bytesOf(plain));
}

TEST_F(StoredKeyStorageKey, AlgorithmChecksFollowTheKeysGroup)
{
    SecureBuffer signature;
    // An RSA key lists no DSS signature, which key spec 1 asks for.
    EXPECT_EQ(-599, wrap(Bytes(20, 1), 1, AT_KEYEXCHANGE, signature));
    EXPECT_EQ(-599, wrap(Bytes(16, 1), 2, AT_KEYEXCHANGE, signature));
    EXPECT_EQ(-593, wrap(Bytes(16, 1), 1, AT_SIGNATURE, signature));
    EXPECT_TRUE(signature.empty());
}

TEST_F(StoredKeyStorageKey, MissingKeyFailsAsAFailedAcquire)
{
    const auto badKeyset = static_cast<std::int32_t>(NTE_BAD_KEYSET);
    struct Case {
        std::string key;
        DWORD keySpec, flags;
        std::wstring provider;
        std::int32_t code;
    } cases[] = {
        {"orv-no-such-key", AT_KEYEXCHANGE, 0, kSmartCardKsp, badKeyset},
        // The legacy key spec and the machine flag reach NCryptOpenKey.
        {CapiTestEnvironment::kKeyStorageKey, AT_SIGNATURE, 0, kSmartCardKsp, badKeyset},
        {CapiTestEnvironment::kKeyStorageKey, AT_KEYEXCHANGE, CRYPT_MACHINE_KEYSET, kSmartCardKsp, badKeyset},
        {CapiTestEnvironment::kMachineKeyStorageKey, AT_SIGNATURE, 0, kSmartCardKsp, badKeyset},
        {CapiTestEnvironment::kKeyStorageKey, AT_KEYEXCHANGE, 0, L"Microsoft Software Key Storage Provider", badKeyset},
        {CapiTestEnvironment::kKeyStorageKey, AT_KEYEXCHANGE, 0, L"No Such Key Storage Provider",
         static_cast<std::int32_t>(NTE_BAD_PROVIDER)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        useKey(c.key, c.keySpec, c.flags, c.provider);
        SecureBuffer signature;
        EXPECT_EQ(c.code, wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
        EXPECT_TRUE(signature.empty());
        SecureBuffer plain;
        const UnwrapOutcome thrown = unwrapOutcome(wrappedSessionKey(), signerCert5(), plain);
        EXPECT_EQ("failed", thrown.kind);
        EXPECT_EQ(c.code, thrown.code);
        EXPECT_EQ(
            descriptionOf("ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().", c.code),
            thrown.description);
    }
}

TEST_F(StoredKeyStorageKey, MachineKeyOpensWithTheMachineFlag)
{
    useKey(CapiTestEnvironment::kMachineKeyStorageKey, AT_SIGNATURE, CRYPT_MACHINE_KEYSET);
    const Bytes digest = IndependentCrypto::digestOf(Hash::Sha1, kMessage);
    SecureBuffer signature, plain;
    ASSERT_EQ(0, wrap(digest, 1, AT_SIGNATURE, signature));
    EXPECT_EQ(cspSignature(digest, Hash::Sha1), bytesOf(signature));
    ORVcapi().unwrapSessionKey(bufferOf(wrappedSessionKey()), bufferOf(signerCert5()), "MY", plain);
    EXPECT_EQ(kSessionKey, bytesOf(plain));
}

TEST_F(StoredKeyStorageKey, RefusalsFollowTheCancellationRule)
{
    std::vector<LONG> refusals(std::begin(kCngCancels), std::end(kCngCancels));
    refusals.insert(refusals.end(), {NTE_FAIL, NTE_NO_KEY, NTE_BAD_KEYSET});
    for (LONG status : refusals) {
        SCOPED_TRACE(status);
        refuse(status);
        SecureBuffer signature;
        EXPECT_EQ(-999, wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
        EXPECT_TRUE(signature.empty());
        SecureBuffer plain;
        const UnwrapOutcome thrown = unwrapOutcome(wrappedSessionKey(), signerCert5(), plain);
        EXPECT_EQ("cancelled", thrown.kind);
        EXPECT_EQ(status, thrown.code);
        EXPECT_EQ(descriptionOf("ORVcapi::unwrapSessionKey() User cancelled during CryptDecrypt().", status),
                  thrown.description);
        EXPECT_TRUE(plain.empty());
    }
}

TEST_F(StoredKeyStorageKey, CancelWhileOpeningTheKeyIsACancellation)
{
    for (LONG status : kCngCancels) {
        SCOPED_TRACE(status);
        refuse(status, orv::standin::RefuseAt::Open);
        SecureBuffer signature;
        EXPECT_EQ(-999, wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
        SecureBuffer plain;
        const UnwrapOutcome thrown = unwrapOutcome(wrappedSessionKey(), signerCert5(), plain);
        EXPECT_EQ("cancelled", thrown.kind);
        EXPECT_EQ(descriptionOf("ORVcapi::getPrivateKey() User cancelled during CryptGetUserKey().", status),
                  thrown.description);
    }
    // Any other failure to open is a failed acquire, even one that counts as
    // cancelled when the key is used.
    for (LONG status : {NTE_FAIL, static_cast<LONG>(0x8010000C)}) {
        refuse(status, orv::standin::RefuseAt::Open);
        SecureBuffer signature;
        EXPECT_EQ(status, wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
    }
}

TEST_F(StoredKeyStorageKey, CancelWhileReadingTheKeysGroupIsACancellation)
{
    SecureBuffer signature;
    for (LONG status : kCngCancels) {
        refuse(status, orv::standin::RefuseAt::Property);
        EXPECT_EQ(-999, wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature)) << status;
    }
    refuse(NTE_PERM, orv::standin::RefuseAt::Property);
    EXPECT_EQ(static_cast<std::int32_t>(NTE_PERM), wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
    EXPECT_TRUE(signature.empty());
}

TEST_F(StoredKeyStorageKey, OtherRefusalsAreReportedAsTheyCome)
{
    refuse(NTE_PERM);
    SecureBuffer signature;
    EXPECT_EQ(static_cast<std::int32_t>(NTE_PERM), wrap(Bytes(20, 1), 1, AT_SIGNATURE, signature));
    SecureBuffer plain;
    const UnwrapOutcome thrown = unwrapOutcome(wrappedSessionKey(), signerCert5(), plain);
    ASSERT_EQ("failed", thrown.kind);
    EXPECT_EQ(descriptionOf("ORVcapi::unwrapSessionKey() A problem occured while calling CryptDecrypt().",
                            static_cast<std::int32_t>(NTE_PERM)),
              thrown.description);
}

TEST_F(StoredKeyStorageKey, DataNotWrappedToTheKeyFailsInDecrypt)
{
    SecureBuffer plain;
    const UnwrapOutcome thrown =
        unwrapOutcome(IndependentCrypto::wrapBigEndian(strangerCert(), kSessionKey), signerCert5(), plain);
    ASSERT_EQ("failed", thrown.kind);
    EXPECT_EQ(static_cast<int>(NTE_INVALID_PARAMETER), thrown.code);
    EXPECT_TRUE(plain.empty());
}

TEST_F(StoredKeyStorageKey, ConcurrentSignaturesAllVerify)
{
    const Bytes digest = IndependentCrypto::digestOf(Hash::Sha1, kMessage);
    const Bytes expected = cspSignature(digest, Hash::Sha1);
    std::vector<int> matches(4, 0);
    onThreads(matches.size(), [&](std::size_t t) {
        for (int i = 0; i < 10; ++i) {
            SecureBuffer signature;
            if (wrap(digest, 1, AT_SIGNATURE, signature) == 0 && bytesOf(signature) == expected) {
                ++matches[t];
            }
        }
    });
    EXPECT_EQ(std::vector<int>(4, 10), matches);
}

#endif

} // namespace
