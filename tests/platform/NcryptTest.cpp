// The stand-in's key storage providers: keys put behind a provider through the
// test hook, opened, signed and decrypted with through the NCrypt calls, and
// checked with OpenSSL from the public key alone.
#include "TestSupport.h"

#include "platform/StandInKeyStorage.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cstring>

using namespace orvtest;

namespace {

const char kSmartCard[] = "Microsoft Smart Card Key Storage Provider";
const char kKeyName[] = "orv-ksp-key";

DWORD code(LONG value)
{
    return static_cast<DWORD>(value);
}

struct Ncrypt {
    NCRYPT_HANDLE handle = 0;
    Ncrypt() = default;
    Ncrypt(const Ncrypt&) = delete;
    Ncrypt& operator=(const Ncrypt&) = delete;
    ~Ncrypt()
    {
        if (handle != 0)
            NCryptFreeObject(handle);
    }
};

bool verifiesBigEndian(EVP_PKEY* key, const EVP_MD* md, const Bytes& digest, const Bytes& signature)
{
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    return ctx && EVP_PKEY_verify_init(ctx.get()) > 0 &&
           EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) > 0 &&
           EVP_PKEY_CTX_set_signature_md(ctx.get(), md) > 0 &&
           EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest.data(), digest.size()) == 1;
}

Bytes encryptTo(EVP_PKEY* key, const Bytes& plain)
{
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    Bytes cipher(length);
    EVP_PKEY_encrypt_init(ctx.get());
    EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING);
    EVP_PKEY_encrypt(ctx.get(), cipher.data(), &length, plain.data(), plain.size());
    cipher.resize(length);
    return cipher;
}

// BCRYPT_RSAPRIVATE_BLOB from OpenSSL's numbers, independently of the stand-in.
Bytes bcryptPrivateBlob(EVP_PKEY* key)
{
    auto number = [&](const char* name) {
        BIGNUM* n = nullptr;
        EVP_PKEY_get_bn_param(key, name, &n);
        Bytes bytes(static_cast<std::size_t>(BN_num_bytes(n)));
        BN_bn2bin(n, bytes.data());
        BN_clear_free(n);
        return bytes;
    };
    Bytes e = number("e"), n = number("n"), p = number("rsa-factor1"), q = number("rsa-factor2");
    BCRYPT_RSAKEY_BLOB header{BCRYPT_RSAPRIVATE_MAGIC,      static_cast<ULONG>(EVP_PKEY_get_bits(key)),
                              static_cast<ULONG>(e.size()), static_cast<ULONG>(n.size()),
                              static_cast<ULONG>(p.size()), static_cast<ULONG>(q.size())};
    Bytes blob(reinterpret_cast<BYTE*>(&header), reinterpret_cast<BYTE*>(&header) + sizeof header);
    for (const Bytes* part : {&e, &n, &p, &q})
        blob.insert(blob.end(), part->begin(), part->end());
    return blob;
}

class NcryptTest : public StateRootTest {
protected:
    void SetUp() override
    {
        StateRootTest::SetUp();
        key_ = makeRsaKey(1024);
        Bytes blob = privateKeyBlob(key_.get(), CALG_RSA_KEYX);
        ASSERT_TRUE(orv::standin::storeKeyStorageKey(kSmartCard, kKeyName, AT_KEYEXCHANGE, false, blob.data(),
                                                     static_cast<DWORD>(blob.size())));
        handlesBefore_ = orv::standin::openKeyStorageHandles();
    }
    void TearDown() override
    {
        EXPECT_EQ(handlesBefore_, orv::standin::openKeyStorageHandles()) << "a handle was not freed";
        StateRootTest::TearDown();
    }

    SECURITY_STATUS openKey(Ncrypt& provider, Ncrypt& key, const wchar_t* name = L"orv-ksp-key",
                            DWORD keySpec = AT_KEYEXCHANGE, DWORD flags = 0)
    {
        SECURITY_STATUS status = NCryptOpenStorageProvider(&provider.handle, MS_SMART_CARD_KEY_STORAGE_PROVIDER, 0);
        if (status != ERROR_SUCCESS)
            return status;
        return NCryptOpenKey(provider.handle, &key.handle, name, keySpec, flags);
    }

    Bytes sign(NCRYPT_KEY_HANDLE key, LPCWSTR algorithm, const Bytes& digest, SECURITY_STATUS& status)
    {
        BCRYPT_PKCS1_PADDING_INFO padding{algorithm};
        Bytes signature(256);
        DWORD length = 0;
        status = NCryptSignHash(key, &padding, const_cast<BYTE*>(digest.data()), static_cast<DWORD>(digest.size()),
                                signature.data(), static_cast<DWORD>(signature.size()), &length, BCRYPT_PAD_PKCS1);
        signature.resize(status == ERROR_SUCCESS ? length : 0);
        return signature;
    }

    Pkey key_;
    std::size_t handlesBefore_ = 0;
};

TEST_F(NcryptTest, ProvidersByName)
{
    for (const wchar_t* name : {MS_KEY_STORAGE_PROVIDER, MS_SMART_CARD_KEY_STORAGE_PROVIDER,
                                static_cast<const wchar_t*>(nullptr), L"microsoft smart card key storage provider"}) {
        Ncrypt provider;
        EXPECT_EQ(ERROR_SUCCESS, NCryptOpenStorageProvider(&provider.handle, name, 0));
        EXPECT_NE(0u, provider.handle);
    }
    Ncrypt bogus;
    EXPECT_EQ(NTE_BAD_PROVIDER, NCryptOpenStorageProvider(&bogus.handle, L"Bogus Key Storage Provider", 0));
    EXPECT_EQ(0u, bogus.handle);
    EXPECT_EQ(NTE_BAD_FLAGS, NCryptOpenStorageProvider(&bogus.handle, nullptr, 0x1000));
    EXPECT_EQ(NTE_INVALID_PARAMETER, NCryptOpenStorageProvider(nullptr, nullptr, 0));
    EXPECT_EQ(NTE_INVALID_HANDLE, NCryptFreeObject(0x12345));
}

TEST_F(NcryptTest, OpenKeyFindsTheKeyByNameSpecAndScope)
{
    {
        Ncrypt provider, key;
        ASSERT_EQ(ERROR_SUCCESS, openKey(provider, key));
        DWORD bits = 0, written = 0;
        EXPECT_EQ(ERROR_SUCCESS, NCryptGetProperty(key.handle, NCRYPT_LENGTH_PROPERTY, reinterpret_cast<PBYTE>(&bits),
                                                   sizeof bits, &written, 0));
        EXPECT_EQ(1024u, bits);
        wchar_t group[8] = {};
        EXPECT_EQ(ERROR_SUCCESS, NCryptGetProperty(key.handle, NCRYPT_ALGORITHM_GROUP_PROPERTY,
                                                   reinterpret_cast<PBYTE>(group), sizeof group, &written, 0));
        EXPECT_EQ(std::wstring(L"RSA"), group);
        EXPECT_EQ(4 * sizeof(wchar_t), written);
        EXPECT_EQ(NTE_BUFFER_TOO_SMALL, NCryptGetProperty(key.handle, NCRYPT_ALGORITHM_GROUP_PROPERTY,
                                                          reinterpret_cast<PBYTE>(group), 2, &written, 0));
        EXPECT_EQ(NTE_NOT_SUPPORTED, NCryptGetProperty(key.handle, L"No Such Property", reinterpret_cast<PBYTE>(group),
                                                       sizeof group, &written, 0));
    }
    {
        Ncrypt provider, key;
        EXPECT_EQ(ERROR_SUCCESS, openKey(provider, key, L"orv-ksp-key", 0));
    }
    struct Miss {
        const wchar_t* name;
        DWORD keySpec, flags;
        SECURITY_STATUS expected;
    } misses[] = {{L"orv-other-key", AT_KEYEXCHANGE, 0, NTE_BAD_KEYSET},
                  {L"orv-ksp-key", AT_SIGNATURE, 0, NTE_BAD_KEYSET},
                  {L"orv-ksp-key", AT_KEYEXCHANGE, NCRYPT_MACHINE_KEY_FLAG, NTE_BAD_KEYSET},
                  {L"orv-ksp-key", 7, 0, NTE_INVALID_PARAMETER},
                  {L"orv-ksp-key", AT_KEYEXCHANGE, 0x4000, NTE_BAD_FLAGS},
                  {L"", AT_KEYEXCHANGE, 0, NTE_INVALID_PARAMETER}};
    for (const Miss& miss : misses) {
        Ncrypt provider, key;
        EXPECT_EQ(miss.expected, openKey(provider, key, miss.name, miss.keySpec, miss.flags));
        EXPECT_EQ(0u, key.handle);
    }
    // The other provider does not hold the key.
    Ncrypt software, key;
    ASSERT_EQ(ERROR_SUCCESS, NCryptOpenStorageProvider(&software.handle, MS_KEY_STORAGE_PROVIDER, 0));
    EXPECT_EQ(NTE_BAD_KEYSET, NCryptOpenKey(software.handle, &key.handle, L"orv-ksp-key", 0, 0));
}

TEST_F(NcryptTest, MachineKeysNeedTheMachineFlag)
{
    Bytes blob = privateKeyBlob(key_.get(), CALG_RSA_SIGN);
    ASSERT_TRUE(orv::standin::storeKeyStorageKey(kSmartCard, "orv-machine", AT_SIGNATURE, true, blob.data(),
                                                 static_cast<DWORD>(blob.size())));
    Ncrypt provider, key, userKey;
    ASSERT_EQ(ERROR_SUCCESS, openKey(provider, key, L"orv-machine", AT_SIGNATURE, NCRYPT_MACHINE_KEY_FLAG));
    EXPECT_EQ(NTE_BAD_KEYSET, NCryptOpenKey(provider.handle, &userKey.handle, L"orv-machine", AT_SIGNATURE, 0));
}

TEST_F(NcryptTest, SignaturesAreBigEndianPkcs1)
{
    Ncrypt provider, key;
    ASSERT_EQ(ERROR_SUCCESS, openKey(provider, key));
    Bytes sha1(SHA_DIGEST_LENGTH), md5(16);
    RAND_bytes(sha1.data(), static_cast<int>(sha1.size()));
    RAND_bytes(md5.data(), static_cast<int>(md5.size()));
    SECURITY_STATUS status = 0;
    Bytes signature = sign(key.handle, BCRYPT_SHA1_ALGORITHM, sha1, status);
    ASSERT_EQ(ERROR_SUCCESS, status);
    ASSERT_EQ(128u, signature.size());
    EXPECT_TRUE(verifiesBigEndian(key_.get(), EVP_sha1(), sha1, signature));
    EXPECT_FALSE(verifiesBigEndian(key_.get(), EVP_sha1(), sha1, reversed(signature)));
    signature = sign(key.handle, BCRYPT_MD5_ALGORITHM, md5, status);
    ASSERT_EQ(ERROR_SUCCESS, status);
    EXPECT_TRUE(verifiesBigEndian(key_.get(), EVP_md5(), md5, signature));

    // Length query, short buffer, wrong hash length, no padding information.
    DWORD length = 0;
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
    EXPECT_EQ(ERROR_SUCCESS,
              NCryptSignHash(key.handle, &padding, sha1.data(), 20, nullptr, 0, &length, BCRYPT_PAD_PKCS1));
    EXPECT_EQ(128u, length);
    Bytes small(127);
    EXPECT_EQ(NTE_BUFFER_TOO_SMALL,
              NCryptSignHash(key.handle, &padding, sha1.data(), 20, small.data(), 127, &length, BCRYPT_PAD_PKCS1));
    EXPECT_EQ(NTE_INVALID_PARAMETER,
              NCryptSignHash(key.handle, &padding, md5.data(), 16, small.data(), 256, &length, BCRYPT_PAD_PKCS1));
    EXPECT_EQ(NTE_INVALID_PARAMETER,
              NCryptSignHash(key.handle, nullptr, sha1.data(), 20, small.data(), 256, &length, BCRYPT_PAD_PKCS1));
    EXPECT_EQ(NTE_NOT_SUPPORTED,
              NCryptSignHash(key.handle, &padding, sha1.data(), 20, small.data(), 256, &length, BCRYPT_PAD_PSS));
    EXPECT_EQ(NTE_INVALID_HANDLE,
              NCryptSignHash(provider.handle, &padding, sha1.data(), 20, small.data(), 256, &length, BCRYPT_PAD_PKCS1));
}

TEST_F(NcryptTest, DecryptTakesBigEndianPkcs1Blocks)
{
    Ncrypt provider, key;
    ASSERT_EQ(ERROR_SUCCESS, openKey(provider, key));
    const Bytes plain = {0xA5, 0x5A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    Bytes cipher = encryptTo(key_.get(), plain);
    Bytes output(128);
    DWORD length = 0;
    ASSERT_EQ(ERROR_SUCCESS, NCryptDecrypt(key.handle, cipher.data(), 128, nullptr, output.data(), 128, &length,
                                           NCRYPT_PAD_PKCS1_FLAG));
    EXPECT_EQ(plain, Bytes(output.begin(), output.begin() + length));
    // Little-endian input is not CNG's order: the padding check fails.
    Bytes wrongOrder = reversed(cipher);
    EXPECT_EQ(NTE_INVALID_PARAMETER, NCryptDecrypt(key.handle, wrongOrder.data(), 128, nullptr, output.data(), 128,
                                                   &length, NCRYPT_PAD_PKCS1_FLAG));
    EXPECT_EQ(NTE_INVALID_PARAMETER, NCryptDecrypt(key.handle, cipher.data(), 127, nullptr, output.data(), 128, &length,
                                                   NCRYPT_PAD_PKCS1_FLAG));
    EXPECT_EQ(NTE_BUFFER_TOO_SMALL,
              NCryptDecrypt(key.handle, cipher.data(), 128, nullptr, output.data(), 8, &length, NCRYPT_PAD_PKCS1_FLAG));
    EXPECT_EQ(NTE_BAD_FLAGS, NCryptDecrypt(key.handle, cipher.data(), 128, nullptr, output.data(), 128, &length, 0));
}

TEST_F(NcryptTest, RefusedKeyFailsItsUseWithTheGivenStatus)
{
    Ncrypt provider, key;
    ASSERT_EQ(ERROR_SUCCESS, openKey(provider, key));
    ASSERT_TRUE(orv::standin::refuseKeyStorageKey(kSmartCard, kKeyName, false, SCARD_W_CANCELLED_BY_USER));
    const Bytes digest(20, 7);
    SECURITY_STATUS status = 0;
    sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, status);
    EXPECT_EQ(code(SCARD_W_CANCELLED_BY_USER), code(status));
    Bytes cipher = encryptTo(key_.get(), Bytes(16, 1)), output(128);
    DWORD length = 0;
    EXPECT_EQ(SCARD_W_CANCELLED_BY_USER, NCryptDecrypt(key.handle, cipher.data(), 128, nullptr, output.data(), 128,
                                                       &length, NCRYPT_PAD_PKCS1_FLAG));
    // The length query does not touch the key.
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
    EXPECT_EQ(ERROR_SUCCESS, NCryptSignHash(key.handle, &padding, const_cast<BYTE*>(digest.data()), 20, nullptr, 0,
                                            &length, BCRYPT_PAD_PKCS1));
    ASSERT_TRUE(orv::standin::refuseKeyStorageKey(kSmartCard, kKeyName, false, 0));
    sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, status);
    EXPECT_EQ(ERROR_SUCCESS, status);
    // Refusing at open leaves the key's use alone.
    ASSERT_TRUE(orv::standin::refuseKeyStorageKey(kSmartCard, kKeyName, false, NTE_USER_CANCELLED,
                                                  orv::standin::RefuseAt::Open));
    Ncrypt otherProvider, refusedKey;
    EXPECT_EQ(NTE_USER_CANCELLED, openKey(otherProvider, refusedKey));
    EXPECT_EQ(0u, refusedKey.handle);
    sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, status);
    EXPECT_EQ(ERROR_SUCCESS, status);
    ASSERT_TRUE(orv::standin::refuseKeyStorageKey(kSmartCard, kKeyName, false, 0));
    Ncrypt reopenedProvider, reopened;
    EXPECT_EQ(ERROR_SUCCESS, openKey(reopenedProvider, reopened));
    EXPECT_FALSE(orv::standin::refuseKeyStorageKey(kSmartCard, "orv-no-such-key", false, NTE_FAIL));
    EXPECT_FALSE(orv::standin::refuseKeyStorageKey("Bogus", kKeyName, false, NTE_FAIL));
}

TEST_F(NcryptTest, ImportedKeyLivesInMemoryOnly)
{
    Ncrypt provider, key;
    ASSERT_EQ(ERROR_SUCCESS, NCryptOpenStorageProvider(&provider.handle, MS_KEY_STORAGE_PROVIDER, 0));
    Bytes blob = bcryptPrivateBlob(key_.get());
    ASSERT_EQ(ERROR_SUCCESS, NCryptImportKey(provider.handle, 0, BCRYPT_RSAPRIVATE_BLOB, nullptr, &key.handle,
                                             blob.data(), static_cast<DWORD>(blob.size()), 0));
    const Bytes digest(20, 3);
    SECURITY_STATUS status = 0;
    Bytes signature = sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, status);
    ASSERT_EQ(ERROR_SUCCESS, status);
    EXPECT_TRUE(verifiesBigEndian(key_.get(), EVP_sha1(), digest, signature));
    Bytes cipher(128);
    DWORD length = 0;
    const Bytes plain = {1, 2, 3};
    ASSERT_EQ(ERROR_SUCCESS, NCryptEncrypt(key.handle, const_cast<BYTE*>(plain.data()), 3, nullptr, cipher.data(), 128,
                                           &length, NCRYPT_PAD_PKCS1_FLAG));
    Bytes output(128);
    ASSERT_EQ(ERROR_SUCCESS, NCryptDecrypt(key.handle, cipher.data(), 128, nullptr, output.data(), 128, &length,
                                           NCRYPT_PAD_PKCS1_FLAG));
    EXPECT_EQ(plain, Bytes(output.begin(), output.begin() + length));

    Ncrypt damaged;
    blob[sizeof(BCRYPT_RSAKEY_BLOB) + 10] ^= 0x40; // a bit of the modulus
    EXPECT_EQ(NTE_BAD_DATA, NCryptImportKey(provider.handle, 0, BCRYPT_RSAPRIVATE_BLOB, nullptr, &damaged.handle,
                                            blob.data(), static_cast<DWORD>(blob.size()), 0));
    EXPECT_EQ(NTE_BAD_DATA, NCryptImportKey(provider.handle, 0, BCRYPT_RSAPRIVATE_BLOB, nullptr, &damaged.handle,
                                            blob.data(), 20, 0));
    EXPECT_EQ(NTE_NOT_SUPPORTED, NCryptImportKey(provider.handle, 0, L"CAPIPRIVATEBLOB", nullptr, &damaged.handle,
                                                 blob.data(), static_cast<DWORD>(blob.size()), 0));
    EXPECT_EQ(0u, damaged.handle);
}

} // namespace
