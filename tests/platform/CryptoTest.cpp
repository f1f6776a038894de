// Tests the stand-in's CryptoAPI providers, keys, hashes and signatures against OpenSSL.
#include "TestSupport.h"

#include <openssl/rand.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

using namespace orvtest;

namespace {

const char kContainer[] = "orv-test-container";

BOOL WINAPI releaseContext(HCRYPTPROV provider)
{
    return CryptReleaseContext(provider, 0);
}

using Provider = Owned<HCRYPTPROV, releaseContext>;
using Key = Owned<HCRYPTKEY, CryptDestroyKey>;
using Hash = Owned<HCRYPTHASH, CryptDestroyHash>;

// Signs a digest set through HP_HASHVAL, with the length query first.
Bytes signDigest(HCRYPTPROV provider, ALG_ID algorithm, const Bytes& digest, DWORD keySpec)
{
    Hash hash;
    EXPECT_TRUE(CryptCreateHash(provider, algorithm, 0, 0, &hash.handle));
    EXPECT_TRUE(CryptSetHashParam(hash.handle, HP_HASHVAL, digest.data(), 0));
    DWORD length = 0;
    if (!CryptSignHashA(hash.handle, keySpec, nullptr, 0, nullptr, &length))
        return {};
    Bytes signature(length);
    if (!CryptSignHashA(hash.handle, keySpec, nullptr, 0, signature.data(), &length))
        return {};
    signature.resize(length);
    return signature;
}

Bytes exportPublic(HCRYPTKEY key)
{
    DWORD length = 0;
    EXPECT_TRUE(CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &length));
    Bytes blob(length);
    EXPECT_TRUE(CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &length));
    return blob;
}

BOOL verifyContext(Provider& provider, DWORD type = PROV_RSA_FULL)
{
    return CryptAcquireContextA(&provider.handle, nullptr, nullptr, type, CRYPT_VERIFYCONTEXT);
}

class CryptoTest : public StateRootTest {
protected:
    void TearDown() override
    {
        key_.reset();
        provider_.reset();
        StateRootTest::TearDown();
    }
    // A fresh key of `bits` in rsa_, imported as a PRIVATEKEYBLOB under `keySpec` into the container that
    // provider_ holds; its user key in key_.
    void provisionUserKey(int bits, DWORD keySpec)
    {
        rsa_ = makeRsaKey(bits);
        ASSERT_TRUE(
            CryptAcquireContextA(&provider_.handle, kContainer, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
        Bytes blob = privateKeyBlob(rsa_.get(), keySpec == AT_SIGNATURE ? CALG_RSA_SIGN : CALG_RSA_KEYX);
        Key imported;
        ASSERT_TRUE(
            CryptImportKey(provider_.handle, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &imported.handle));
        ASSERT_TRUE(CryptGetUserKey(provider_.handle, keySpec, &key_.handle));
    }
    Pkey rsa_;
    Provider provider_;
    Key key_;
};

TEST_F(CryptoTest, EveryKnownProviderAcquiresAVerifyContext)
{
    const std::pair<const char*, DWORD> providers[] = {{MS_DEF_PROV_A, PROV_RSA_FULL},
                                                       {MS_ENHANCED_PROV_A, PROV_RSA_FULL},
                                                       {MS_STRONG_PROV_A, PROV_RSA_FULL},
                                                       {MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES},
                                                       {MS_DEF_DSS_PROV_A, PROV_DSS}};
    for (const auto& entry : providers) {
        Provider provider;
        EXPECT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, entry.first, entry.second, CRYPT_VERIFYCONTEXT))
            << entry.first;
        EXPECT_NE(0u, provider.handle);
    }
}

TEST_F(CryptoTest, NullProviderNameSelectsTheDefaultOfTheType)
{
    const std::pair<DWORD, const char*> defaults[] = {
        {PROV_RSA_FULL, MS_DEF_PROV_A}, {PROV_RSA_AES, MS_ENH_RSA_AES_PROV_A}, {PROV_DSS, MS_DEF_DSS_PROV_A}};
    for (const auto& entry : defaults) {
        Provider provider;
        ASSERT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, nullptr, entry.first, CRYPT_VERIFYCONTEXT));
        char name[128] = {0};
        DWORD length = sizeof name;
        ASSERT_TRUE(CryptGetProvParam(provider.handle, PP_NAME, reinterpret_cast<BYTE*>(name), &length, 0));
        EXPECT_STREQ(entry.second, name);
        EXPECT_EQ(std::strlen(entry.second) + 1, length);
    }
}

TEST_F(CryptoTest, AcquireReportsWindowsErrorCodes)
{
    HCRYPTPROV handle = 0;
    ORV_EXPECT_FAILS(CryptAcquireContextA(&handle, nullptr, "No Such Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT),
                     NTE_KEYSET_NOT_DEF);
    ORV_EXPECT_FAILS(CryptAcquireContextA(&handle, nullptr, MS_DEF_PROV_A, PROV_DSS, CRYPT_VERIFYCONTEXT),
                     NTE_PROV_TYPE_NO_MATCH);
    ORV_EXPECT_FAILS(CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_SIG, CRYPT_VERIFYCONTEXT),
                     NTE_PROV_TYPE_NOT_DEF);
    ORV_EXPECT_FAILS(CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_FULL, 0x4), NTE_BAD_FLAGS);
    ORV_EXPECT_FAILS(CryptAcquireContextA(nullptr, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT),
                     ERROR_INVALID_PARAMETER);
    EXPECT_EQ(0u, handle);
    ORV_EXPECT_FAILS(CryptReleaseContext(0x12345678, 0), NTE_BAD_UID);
}

std::vector<PROV_ENUMALGS> enumerateAlgorithms(HCRYPTPROV provider)
{
    std::vector<PROV_ENUMALGS> list;
    DWORD flags = CRYPT_FIRST;
    while (true) {
        PROV_ENUMALGS record{};
        DWORD length = sizeof record;
        if (!CryptGetProvParam(provider, PP_ENUMALGS, reinterpret_cast<BYTE*>(&record), &length, flags)) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
            return list;
        }
        EXPECT_EQ(sizeof record, length);
        EXPECT_EQ(std::strlen(record.szName) + 1, record.dwNameLen);
        list.push_back(record);
        flags = 0;
    }
}

bool listsAlgorithm(const std::vector<PROV_ENUMALGS>& list, ALG_ID id)
{
    return std::any_of(list.begin(), list.end(), [id](const PROV_ENUMALGS& record) { return record.aiAlgid == id; });
}

TEST_F(CryptoTest, EnumAlgsListsWhatEachProviderOffers)
{
    Provider rsa, dss;
    ASSERT_TRUE(CryptAcquireContextA(&rsa.handle, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    ASSERT_TRUE(CryptAcquireContextA(&dss.handle, nullptr, MS_DEF_DSS_PROV_A, PROV_DSS, CRYPT_VERIFYCONTEXT));
    std::vector<PROV_ENUMALGS> rsaList = enumerateAlgorithms(rsa.handle);
    for (ALG_ID id : {CALG_RSA_SIGN, CALG_RSA_KEYX, CALG_SHA1, CALG_MD5})
        EXPECT_TRUE(listsAlgorithm(rsaList, id)) << std::hex << id;
    EXPECT_FALSE(listsAlgorithm(rsaList, CALG_DSS_SIGN));
    std::vector<PROV_ENUMALGS> dssList = enumerateAlgorithms(dss.handle);
    EXPECT_TRUE(listsAlgorithm(dssList, CALG_DSS_SIGN));
    EXPECT_TRUE(listsAlgorithm(dssList, CALG_SHA1));
    EXPECT_FALSE(listsAlgorithm(dssList, CALG_RSA_SIGN));
    EXPECT_FALSE(listsAlgorithm(dssList, CALG_RSA_KEYX));
    // CRYPT_FIRST starts over.
    EXPECT_EQ(rsaList.size(), enumerateAlgorithms(rsa.handle).size());
}

TEST_F(CryptoTest, EnumAlgsHonoursBufferSize)
{
    ASSERT_TRUE(verifyContext(provider_));
    DWORD length = 0;
    ASSERT_TRUE(CryptGetProvParam(provider_.handle, PP_ENUMALGS, nullptr, &length, CRYPT_FIRST));
    EXPECT_EQ(sizeof(PROV_ENUMALGS), length);
    BYTE small[8];
    length = sizeof small;
    ORV_EXPECT_FAILS(CryptGetProvParam(provider_.handle, PP_ENUMALGS, small, &length, CRYPT_FIRST), ERROR_MORE_DATA);
    EXPECT_EQ(sizeof(PROV_ENUMALGS), length);
    ORV_EXPECT_FAILS(CryptGetProvParam(provider_.handle, 0x7777, small, &length, 0), NTE_BAD_TYPE);
}

TEST_F(CryptoTest, ContainerLifecycleCodes)
{
    HCRYPTPROV handle = 0;
    ORV_EXPECT_FAILS(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, 0), NTE_BAD_KEYSET);
    {
        Provider created;
        ASSERT_TRUE(CryptAcquireContextA(&created.handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    }
    ORV_EXPECT_FAILS(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET), NTE_EXISTS);
    {
        Provider opened;
        ASSERT_TRUE(CryptAcquireContextA(&opened.handle, kContainer, MS_STRONG_PROV_A, PROV_RSA_FULL, 0));
        Key key;
        ORV_EXPECT_FAILS(CryptGetUserKey(opened.handle, AT_KEYEXCHANGE, &key.handle), NTE_NO_KEY);
        ORV_EXPECT_FAILS(CryptGetUserKey(opened.handle, 7, &key.handle), NTE_BAD_KEY);
    }
    EXPECT_TRUE(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
    ORV_EXPECT_FAILS(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, 0), NTE_BAD_KEYSET);
}

TEST_F(CryptoTest, ContainerNamesCannotEscapeTheStateDirectory)
{
    Provider provider;
    ASSERT_TRUE(CryptAcquireContextA(&provider.handle, "../../escape", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    struct stat st {};
    EXPECT_NE(0, stat((root() + "/../escape").c_str(), &st));
    EXPECT_NE(0, stat((root() + "/escape").c_str(), &st));
    Provider again;
    EXPECT_TRUE(CryptAcquireContextA(&again.handle, "../../escape", nullptr, PROV_RSA_FULL, 0));
}

TEST_F(CryptoTest, GeneratedKeyPersistsAcrossContextsInAPrivateFile)
{
    ASSERT_TRUE(CryptAcquireContextA(&provider_.handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    ASSERT_TRUE(CryptGenKey(provider_.handle, AT_SIGNATURE, 1024u << 16, &key_.handle));
    const Bytes exported = exportPublic(key_.handle);
    key_.reset();
    provider_.reset();
    ASSERT_TRUE(CryptAcquireContextA(&provider_.handle, kContainer, nullptr, PROV_RSA_FULL, 0));
    ASSERT_TRUE(CryptGetUserKey(provider_.handle, AT_SIGNATURE, &key_.handle));
    EXPECT_EQ(exported, exportPublic(key_.handle));
    EXPECT_EQ(20u + 128u, exported.size());
    struct stat st {};
    ASSERT_EQ(0, stat((root() + "/containers/" + kContainer + "/sig.pem").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(CryptoTest, VerifyContextKeysAreNotPersisted)
{
    ASSERT_TRUE(verifyContext(provider_));
    Key key, user;
    ASSERT_TRUE(CryptGenKey(provider_.handle, AT_KEYEXCHANGE, 0, &key.handle));
    EXPECT_TRUE(CryptGetUserKey(provider_.handle, AT_KEYEXCHANGE, &user.handle));
    struct stat st {};
    EXPECT_NE(0, stat((root() + "/containers").c_str(), &st));
}

TEST_F(CryptoTest, GenKeyRejectsBadAlgorithmsAndSizes)
{
    Provider dss;
    ASSERT_TRUE(verifyContext(provider_));
    ASSERT_TRUE(verifyContext(dss, PROV_DSS));
    HCRYPTKEY key = 0;
    ORV_EXPECT_FAILS(CryptGenKey(provider_.handle, CALG_RC4, 0, &key), NTE_BAD_ALGID);
    ORV_EXPECT_FAILS(CryptGenKey(provider_.handle, AT_SIGNATURE, 100u << 16, &key), NTE_BAD_FLAGS);
    ORV_EXPECT_FAILS(CryptGenKey(dss.handle, AT_SIGNATURE, 0, &key), NTE_BAD_ALGID);
    EXPECT_EQ(0u, key);
}

TEST_F(CryptoTest, ExportedPublicBlobCarriesTheModulusLittleEndian)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(1024, AT_KEYEXCHANGE));
    Bytes blob = exportPublic(key_.handle);
    ASSERT_EQ(20u + 128u, blob.size());
    EXPECT_EQ(PUBLICKEYBLOB, blob[0]);
    ALG_ID algorithm = 0;
    std::memcpy(&algorithm, blob.data() + 4, 4);
    EXPECT_EQ(static_cast<ALG_ID>(CALG_RSA_KEYX), algorithm);
    BIGNUM* n = nullptr;
    EVP_PKEY_get_bn_param(rsa_.get(), "n", &n);
    Bytes modulus(128);
    BN_bn2binpad(n, modulus.data(), 128);
    BN_free(n);
    EXPECT_EQ(reversed(modulus), Bytes(blob.begin() + 20, blob.end()));

    Bytes small(10);
    DWORD length = static_cast<DWORD>(small.size());
    ORV_EXPECT_FAILS(CryptExportKey(key_.handle, 0, PUBLICKEYBLOB, 0, small.data(), &length), ERROR_MORE_DATA);
    EXPECT_EQ(blob.size(), length);
    ORV_EXPECT_FAILS(CryptExportKey(key_.handle, 0, PRIVATEKEYBLOB, 0, nullptr, &length), NTE_BAD_KEY_STATE);
}

TEST_F(CryptoTest, MalformedBlobsAreRefused)
{
    Pkey rsa = makeRsaKey(1024);
    const Bytes good = privateKeyBlob(rsa.get(), CALG_RSA_KEYX);
    ASSERT_TRUE(verifyContext(provider_));
    HCRYPTKEY key = 0;
    // `good` with some bytes changed, and `cut` bytes off its end.
    auto import = [&](std::initializer_list<std::pair<std::size_t, BYTE>> changes, std::size_t cut = 0) {
        Bytes blob = good;
        for (const auto& change : changes)
            blob[change.first] = change.second;
        return CryptImportKey(provider_.handle, blob.data(), static_cast<DWORD>(blob.size() - cut), 0, 0, &key);
    };
    ORV_EXPECT_FAILS(import({}, 1), NTE_BAD_DATA);
    ORV_EXPECT_FAILS(import({{1, 9}}), NTE_BAD_VER);
    ORV_EXPECT_FAILS(import({{4, 0x01}, {5, 0x68}}), NTE_BAD_ALGID); // CALG_RC4
    const std::size_t prime = 20 + 128 + 5;                          // a byte of the first prime
    ORV_EXPECT_FAILS(import({{prime, static_cast<BYTE>(good[prime] ^ 0x5A)}}), NTE_BAD_DATA);
    ORV_EXPECT_FAILS(CryptImportKey(provider_.handle, nullptr, 20, 0, 0, &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(0u, key);
}

TEST_F(CryptoTest, SignaturesAreLittleEndianPkcs1VerifiedByOpenssl)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(2048, AT_SIGNATURE));
    Bytes digest = sha1Of("message to sign");
    Bytes signature = signDigest(provider_.handle, CALG_SHA1, digest, AT_SIGNATURE);
    ASSERT_EQ(256u, signature.size());
    EXPECT_TRUE(verifies(rsa_.get(), EVP_sha1(), digest, reversed(signature)));
    EXPECT_FALSE(verifies(rsa_.get(), EVP_sha1(), digest, signature));

    Bytes md5Digest(16);
    RAND_bytes(md5Digest.data(), 16);
    Bytes md5Signature = signDigest(provider_.handle, CALG_MD5, md5Digest, AT_SIGNATURE);
    EXPECT_TRUE(verifies(rsa_.get(), EVP_md5(), md5Digest, reversed(md5Signature)));
}

TEST_F(CryptoTest, SignHashLengthQueryAndShortBuffer)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(1024, AT_KEYEXCHANGE));
    Hash hash;
    ASSERT_TRUE(CryptCreateHash(provider_.handle, CALG_SHA1, 0, 0, &hash.handle));
    Bytes digest = sha1Of("x");
    ASSERT_TRUE(CryptSetHashParam(hash.handle, HP_HASHVAL, digest.data(), 0));
    DWORD length = 0;
    ASSERT_TRUE(CryptSignHashA(hash.handle, AT_KEYEXCHANGE, nullptr, 0, nullptr, &length));
    EXPECT_EQ(128u, length);
    Bytes shortBuffer(64);
    length = 64;
    ORV_EXPECT_FAILS(CryptSignHashA(hash.handle, AT_KEYEXCHANGE, nullptr, 0, shortBuffer.data(), &length),
                     ERROR_MORE_DATA);
    EXPECT_EQ(128u, length);
    ORV_EXPECT_FAILS(CryptSignHashA(hash.handle, AT_SIGNATURE, nullptr, 0, nullptr, &length), NTE_NO_KEY);
}

TEST_F(CryptoTest, VerifySignatureAcceptsOwnAndRejectsTampered)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(1024, AT_SIGNATURE));
    Bytes signature = signDigest(provider_.handle, CALG_SHA1, sha1Of("verify me"), AT_SIGNATURE);
    Hash hash;
    ASSERT_TRUE(CryptCreateHash(provider_.handle, CALG_SHA1, 0, 0, &hash.handle));
    ASSERT_TRUE(CryptHashData(hash.handle, reinterpret_cast<const BYTE*>("verify me"), 9, 0));
    auto verify = [&] {
        return CryptVerifySignatureA(hash.handle, signature.data(), static_cast<DWORD>(signature.size()), key_.handle,
                                     nullptr, 0);
    };
    EXPECT_TRUE(verify());
    signature[3] ^= 1;
    ORV_EXPECT_FAILS(verify(), NTE_BAD_SIGNATURE);
}
TEST_F(CryptoTest, HashObjectsCheckTheirArguments)
{
    ASSERT_TRUE(verifyContext(provider_));
    HCRYPTHASH hash = 0;
    ORV_EXPECT_FAILS(CryptCreateHash(provider_.handle, CALG_RSA_SIGN, 0, 0, &hash), NTE_BAD_ALGID);
    // Only the AES provider has SHA-256.
    ORV_EXPECT_FAILS(CryptCreateHash(provider_.handle, CALG_SHA_256, 0, 0, &hash), NTE_BAD_ALGID);
    ORV_EXPECT_FAILS(CryptCreateHash(provider_.handle, CALG_SHA1, 0, 1, &hash), NTE_BAD_FLAGS);
    ORV_EXPECT_FAILS(CryptCreateHash(0xdead, CALG_SHA1, 0, 0, &hash), NTE_BAD_UID);
    ORV_EXPECT_FAILS(CryptDestroyHash(0xbeef), NTE_BAD_HASH);

    Hash valueSet;
    ASSERT_TRUE(CryptCreateHash(provider_.handle, CALG_MD5, 0, 0, &valueSet.handle));
    Bytes digest(16, 0xAB);
    ASSERT_TRUE(CryptSetHashParam(valueSet.handle, HP_HASHVAL, digest.data(), 0));
    ORV_EXPECT_FAILS(CryptHashData(valueSet.handle, digest.data(), 4, 0), NTE_BAD_HASH_STATE);
    Bytes read(16);
    DWORD length = 16;
    ASSERT_TRUE(CryptGetHashParam(valueSet.handle, HP_HASHVAL, read.data(), &length, 0));
    EXPECT_EQ(digest, read);
    ORV_EXPECT_FAILS(CryptSetHashParam(valueSet.handle, HP_HASHVAL, nullptr, 0), ERROR_INVALID_PARAMETER);
}

TEST_F(CryptoTest, DecryptsWhatOpensslEncryptedOnceReversed)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(1024, AT_KEYEXCHANGE));
    Bytes secret(24);
    RAND_bytes(secret.data(), 24);
    Bytes data = reversed(encryptTo(rsa_.get(), secret));
    DWORD length = static_cast<DWORD>(data.size());
    ASSERT_TRUE(CryptDecrypt(key_.handle, 0, TRUE, 0, data.data(), &length));
    ASSERT_EQ(secret.size(), length);
    EXPECT_EQ(secret, Bytes(data.begin(), data.begin() + length));
}

TEST_F(CryptoTest, DecryptReportsBadPaddingAndLength)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(1024, AT_KEYEXCHANGE));
    Bytes notReversed = encryptTo(rsa_.get(), Bytes(16, 7));
    DWORD length = static_cast<DWORD>(notReversed.size());
    ORV_EXPECT_FAILS(CryptDecrypt(key_.handle, 0, TRUE, 0, notReversed.data(), &length), NTE_BAD_DATA);
    Bytes tooShort(100, 1);
    length = 100;
    ORV_EXPECT_FAILS(CryptDecrypt(key_.handle, 0, TRUE, 0, tooShort.data(), &length), NTE_BAD_LEN);
    ORV_EXPECT_FAILS(CryptDecrypt(0x4242, 0, TRUE, 0, tooShort.data(), &length), NTE_BAD_KEY);
}

TEST_F(CryptoTest, EncryptOutputDecryptsWithOpensslOnceReversed)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(1024, AT_KEYEXCHANGE));
    Bytes buffer(128, 0);
    const char message[] = "session key bytes";
    std::memcpy(buffer.data(), message, sizeof message);
    DWORD length = sizeof message;
    DWORD needed = length;
    ASSERT_TRUE(CryptEncrypt(key_.handle, 0, TRUE, 0, nullptr, &needed, 0));
    EXPECT_EQ(128u, needed);
    ASSERT_TRUE(CryptEncrypt(key_.handle, 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size())));
    ASSERT_EQ(128u, length);
    Bytes cipher = reversed(buffer);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(rsa_.get(), nullptr),
                                                                    EVP_PKEY_CTX_free);
    Bytes plain(128);
    std::size_t plainLength = plain.size();
    ASSERT_EQ(1, EVP_PKEY_decrypt_init(ctx.get()));
    ASSERT_EQ(1, EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING));
    ASSERT_EQ(1, EVP_PKEY_decrypt(ctx.get(), plain.data(), &plainLength, cipher.data(), cipher.size()));
    EXPECT_EQ(std::string(message, sizeof message), std::string(plain.begin(), plain.begin() + plainLength));

    length = 120; // more than fits a 1024-bit PKCS#1 block
    ORV_EXPECT_FAILS(CryptEncrypt(key_.handle, 0, TRUE, 0, buffer.data(), &length, 128), NTE_BAD_LEN);
}

TEST_F(CryptoTest, GenRandomFillsAndChecksArguments)
{
    ASSERT_TRUE(verifyContext(provider_));
    Bytes first(64, 0), second(64, 0);
    ASSERT_TRUE(CryptGenRandom(provider_.handle, 64, first.data()));
    ASSERT_TRUE(CryptGenRandom(provider_.handle, 64, second.data()));
    EXPECT_NE(first, second);
    EXPECT_NE(Bytes(64, 0), first);
    ORV_EXPECT_FAILS(CryptGenRandom(provider_.handle, 8, nullptr), ERROR_INVALID_PARAMETER);
    ORV_EXPECT_FAILS(CryptGenRandom(0x999, 8, first.data()), NTE_BAD_UID);
}

TEST_F(CryptoTest, ConcurrentSigningWithOneContainer)
{
    ASSERT_NO_FATAL_FAILURE(provisionUserKey(1024, AT_SIGNATURE));
    key_.reset();
    provider_.reset();
    std::vector<int> verified(6, 0);
    onThreads(verified.size(), [&](std::size_t t) {
        for (int i = 0; i < 5; ++i) {
            Provider provider;
            if (!CryptAcquireContextA(&provider.handle, kContainer, nullptr, PROV_RSA_FULL, 0))
                return;
            Bytes digest = sha1Of("thread " + std::to_string(t) + " round " + std::to_string(i));
            Bytes signature = signDigest(provider.handle, CALG_SHA1, digest, AT_SIGNATURE);
            if (verifies(rsa_.get(), EVP_sha1(), digest, reversed(signature)))
                ++verified[t];
        }
    });
    for (int count : verified)
        EXPECT_EQ(5, count);
}

} // namespace
