// The stand-in's key storage providers: keys put behind a provider through the
// test hook, opened, signed and decrypted with through the NCrypt calls, and
// checked with OpenSSL from the public key alone.
#include "TestSupport.h"

#include "tests/standin/StandInKeyStorage.h"

#include <openssl/rand.h>

using namespace orvtest;

namespace {

const char kSmartCard[] = "Microsoft Smart Card Key Storage Provider";
const char kKeyName[] = "orv-ksp-key";

using Ncrypt = Owned<NCRYPT_HANDLE, NCryptFreeObject>;

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

    static SECURITY_STATUS sign(NCRYPT_KEY_HANDLE key, LPCWSTR algorithm, const Bytes& digest, Bytes& signature)
    {
        BCRYPT_PKCS1_PADDING_INFO padding{algorithm};
        signature.resize(256);
        DWORD length = 0;
        SECURITY_STATUS status =
            NCryptSignHash(key, &padding, const_cast<BYTE*>(digest.data()), static_cast<DWORD>(digest.size()),
                           signature.data(), static_cast<DWORD>(signature.size()), &length, BCRYPT_PAD_PKCS1);
        signature.resize(status == ERROR_SUCCESS ? length : 0);
        return status;
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
        auto property = [&](LPCWSTR name, void* out, DWORD size) {
            return NCryptGetProperty(key.handle, name, static_cast<PBYTE>(out), size, &written, 0);
        };
        EXPECT_EQ(ERROR_SUCCESS, property(NCRYPT_LENGTH_PROPERTY, &bits, sizeof bits));
        EXPECT_EQ(1024u, bits);
        wchar_t group[8] = {};
        EXPECT_EQ(ERROR_SUCCESS, property(NCRYPT_ALGORITHM_GROUP_PROPERTY, group, sizeof group));
        EXPECT_EQ(std::wstring(L"RSA"), group);
        EXPECT_EQ(4 * sizeof(wchar_t), written);
        EXPECT_EQ(NTE_BUFFER_TOO_SMALL, property(NCRYPT_ALGORITHM_GROUP_PROPERTY, group, 2));
        EXPECT_EQ(NTE_NOT_SUPPORTED, property(L"No Such Property", group, sizeof group));
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
    Bytes sha1(20), md5(16);
    RAND_bytes(sha1.data(), static_cast<int>(sha1.size()));
    RAND_bytes(md5.data(), static_cast<int>(md5.size()));
    Bytes signature;
    ASSERT_EQ(ERROR_SUCCESS, sign(key.handle, BCRYPT_SHA1_ALGORITHM, sha1, signature));
    ASSERT_EQ(128u, signature.size());
    EXPECT_TRUE(verifies(key_.get(), EVP_sha1(), sha1, signature));
    EXPECT_FALSE(verifies(key_.get(), EVP_sha1(), sha1, reversed(signature)));
    ASSERT_EQ(ERROR_SUCCESS, sign(key.handle, BCRYPT_MD5_ALGORITHM, md5, signature));
    EXPECT_TRUE(verifies(key_.get(), EVP_md5(), md5, signature));

    // Length query, short buffer, wrong hash length, no padding information.
    DWORD length = 0;
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
    auto signHash = [&](NCRYPT_HANDLE handle, void* info, Bytes& digest, BYTE* out, DWORD room,
                        DWORD flags = BCRYPT_PAD_PKCS1) {
        return NCryptSignHash(handle, info, digest.data(), static_cast<DWORD>(digest.size()), out, room, &length,
                              flags);
    };
    EXPECT_EQ(ERROR_SUCCESS, signHash(key.handle, &padding, sha1, nullptr, 0));
    EXPECT_EQ(128u, length);
    Bytes small(127);
    EXPECT_EQ(NTE_BUFFER_TOO_SMALL, signHash(key.handle, &padding, sha1, small.data(), 127));
    EXPECT_EQ(NTE_INVALID_PARAMETER, signHash(key.handle, &padding, md5, small.data(), 256));
    EXPECT_EQ(NTE_INVALID_PARAMETER, signHash(key.handle, nullptr, sha1, small.data(), 256));
    EXPECT_EQ(NTE_NOT_SUPPORTED, signHash(key.handle, &padding, sha1, small.data(), 256, BCRYPT_PAD_PSS));
    EXPECT_EQ(NTE_INVALID_HANDLE, signHash(provider.handle, &padding, sha1, small.data(), 256));
}

TEST_F(NcryptTest, DecryptTakesBigEndianPkcs1Blocks)
{
    Ncrypt provider, key;
    ASSERT_EQ(ERROR_SUCCESS, openKey(provider, key));
    const Bytes plain = {0xA5, 0x5A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    Bytes cipher = encryptTo(key_.get(), plain);
    Bytes output(128);
    DWORD length = 0;
    auto decrypt = [&](Bytes input, DWORD size = 128, DWORD room = 128, DWORD flags = NCRYPT_PAD_PKCS1_FLAG) {
        return NCryptDecrypt(key.handle, input.data(), size, nullptr, output.data(), room, &length, flags);
    };
    ASSERT_EQ(ERROR_SUCCESS, decrypt(cipher));
    EXPECT_EQ(plain, Bytes(output.begin(), output.begin() + length));
    // Little-endian input is not CNG's order: the padding check fails.
    EXPECT_EQ(NTE_INVALID_PARAMETER, decrypt(reversed(cipher)));
    EXPECT_EQ(NTE_INVALID_PARAMETER, decrypt(cipher, 127));
    EXPECT_EQ(NTE_BUFFER_TOO_SMALL, decrypt(cipher, 128, 8));
    EXPECT_EQ(NTE_BAD_FLAGS, decrypt(cipher, 128, 128, 0));
}

TEST_F(NcryptTest, RefusedKeyFailsItsUseWithTheGivenStatus)
{
    Ncrypt provider, key;
    ASSERT_EQ(ERROR_SUCCESS, openKey(provider, key));
    ASSERT_TRUE(orv::standin::refuseKeyStorageKey(kSmartCard, kKeyName, false, SCARD_W_CANCELLED_BY_USER));
    const Bytes digest(20, 7);
    Bytes signature;
    EXPECT_EQ(static_cast<DWORD>(SCARD_W_CANCELLED_BY_USER),
              static_cast<DWORD>(sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, signature)));
    Bytes cipher = encryptTo(key_.get(), Bytes(16, 1)), output(128);
    DWORD length = 0;
    EXPECT_EQ(SCARD_W_CANCELLED_BY_USER, NCryptDecrypt(key.handle, cipher.data(), 128, nullptr, output.data(), 128,
                                                       &length, NCRYPT_PAD_PKCS1_FLAG));
    // The length query does not touch the key.
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
    EXPECT_EQ(ERROR_SUCCESS, NCryptSignHash(key.handle, &padding, const_cast<BYTE*>(digest.data()), 20, nullptr, 0,
                                            &length, BCRYPT_PAD_PKCS1));
    ASSERT_TRUE(orv::standin::refuseKeyStorageKey(kSmartCard, kKeyName, false, 0));
    EXPECT_EQ(ERROR_SUCCESS, sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, signature));
    // Refusing at open leaves the key's use alone.
    ASSERT_TRUE(orv::standin::refuseKeyStorageKey(kSmartCard, kKeyName, false, NTE_USER_CANCELLED,
                                                  orv::standin::RefuseAt::Open));
    Ncrypt otherProvider, refusedKey;
    EXPECT_EQ(NTE_USER_CANCELLED, openKey(otherProvider, refusedKey));
    EXPECT_EQ(0u, refusedKey.handle);
    EXPECT_EQ(ERROR_SUCCESS, sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, signature));
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
    Bytes signature;
    ASSERT_EQ(ERROR_SUCCESS, sign(key.handle, BCRYPT_SHA1_ALGORITHM, digest, signature));
    EXPECT_TRUE(verifies(key_.get(), EVP_sha1(), digest, signature));
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
    auto import = [&](LPCWSTR type, DWORD size) {
        return NCryptImportKey(provider.handle, 0, type, nullptr, &damaged.handle, blob.data(), size, 0);
    };
    blob[sizeof(BCRYPT_RSAKEY_BLOB) + 10] ^= 0x40; // a bit of the modulus
    EXPECT_EQ(NTE_BAD_DATA, import(BCRYPT_RSAPRIVATE_BLOB, static_cast<DWORD>(blob.size())));
    EXPECT_EQ(NTE_BAD_DATA, import(BCRYPT_RSAPRIVATE_BLOB, 20));
    EXPECT_EQ(NTE_NOT_SUPPORTED, import(L"CAPIPRIVATEBLOB", static_cast<DWORD>(blob.size())));
    EXPECT_EQ(0u, damaged.handle);
}

TEST(LoadLibrary, NcryptIsTheStandInsOwnUnlessHidden)
{
    HMODULE ncrypt = LoadLibraryA("NCrypt.dll");
    ASSERT_NE(nullptr, ncrypt);
    EXPECT_EQ(reinterpret_cast<void*>(&NCryptSignHash),
              reinterpret_cast<void*>(GetProcAddress(ncrypt, "NCryptSignHash")));
    ORV_EXPECT_ERROR(nullptr, GetProcAddress(ncrypt, "NCryptCreatePersistedKey"), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(ncrypt));
    setenv("ORV_WIN32_NO_NCRYPT", "1", 1);
    ORV_EXPECT_ERROR(nullptr, LoadLibraryA("ncrypt.dll"), ERROR_MOD_NOT_FOUND);
    unsetenv("ORV_WIN32_NO_NCRYPT");
}

} // namespace
