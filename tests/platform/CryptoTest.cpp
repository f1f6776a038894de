#include "TestSupport.h"

#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <sys/stat.h>

#include <cstring>
#include <thread>

using namespace orvtest;

namespace {

const char kContainer[] = "orv-test-container";

DWORD lastError()
{
    return GetLastError();
}
DWORD code(LONG value)
{
    return static_cast<DWORD>(value);
}

class Provider {
public:
    Provider() = default;
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    ~Provider()
    {
        if (handle != 0)
            CryptReleaseContext(handle, 0);
    }
    HCRYPTPROV handle = 0;
};

class Key {
public:
    ~Key()
    {
        if (handle != 0)
            CryptDestroyKey(handle);
    }
    HCRYPTKEY handle = 0;
};

class Hash {
public:
    ~Hash()
    {
        if (handle != 0)
            CryptDestroyHash(handle);
    }
    HCRYPTHASH handle = 0;
};

Bytes sha1(const std::string& text)
{
    Bytes digest(SHA_DIGEST_LENGTH);
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
    return digest;
}

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

bool opensslVerifies(EVP_PKEY* key, const EVP_MD* md, const Bytes& digest, const Bytes& bigEndianSignature)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    return EVP_PKEY_verify_init(ctx.get()) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
           EVP_PKEY_CTX_set_signature_md(ctx.get(), md) == 1 &&
           EVP_PKEY_verify(ctx.get(), bigEndianSignature.data(), bigEndianSignature.size(), digest.data(),
                           digest.size()) == 1;
}

Bytes opensslEncrypt(EVP_PKEY* key, const Bytes& plain)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    Bytes cipher(length);
    EXPECT_EQ(1, EVP_PKEY_encrypt_init(ctx.get()));
    EXPECT_EQ(1, EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING));
    EXPECT_EQ(1, EVP_PKEY_encrypt(ctx.get(), cipher.data(), &length, plain.data(), plain.size()));
    cipher.resize(length);
    return cipher;
}

Bytes exportPublic(HCRYPTKEY key)
{
    DWORD length = 0;
    EXPECT_TRUE(CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &length));
    Bytes blob(length);
    EXPECT_TRUE(CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &length));
    return blob;
}

class CryptoTest : public StateRootTest {
protected:
    // A container holding `key` under `keySpec`, imported as a PRIVATEKEYBLOB.
    void provision(Provider& provider, EVP_PKEY* key, DWORD keySpec, const char* container = kContainer)
    {
        ASSERT_TRUE(
            CryptAcquireContextA(&provider.handle, container, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
        Bytes blob = privateKeyBlob(key, keySpec == AT_SIGNATURE ? CALG_RSA_SIGN : CALG_RSA_KEYX);
        Key imported;
        ASSERT_TRUE(
            CryptImportKey(provider.handle, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &imported.handle));
    }
};

// ---- providers --------------------------------------------------------------

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
    EXPECT_FALSE(CryptAcquireContextA(&handle, nullptr, "No Such Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(code(NTE_KEYSET_NOT_DEF), lastError());
    EXPECT_FALSE(CryptAcquireContextA(&handle, nullptr, MS_DEF_PROV_A, PROV_DSS, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(code(NTE_PROV_TYPE_NO_MATCH), lastError());
    EXPECT_FALSE(CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_SIG, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(code(NTE_PROV_TYPE_NOT_DEF), lastError());
    EXPECT_FALSE(CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_FULL, 0x4));
    EXPECT_EQ(code(NTE_BAD_FLAGS), lastError());
    EXPECT_FALSE(CryptAcquireContextA(nullptr, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(code(ERROR_INVALID_PARAMETER), lastError());
    EXPECT_EQ(0u, handle);
    EXPECT_FALSE(CryptReleaseContext(0x12345678, 0));
    EXPECT_EQ(code(NTE_BAD_UID), lastError());
}

std::vector<PROV_ENUMALGS> enumerateAlgorithms(HCRYPTPROV provider)
{
    std::vector<PROV_ENUMALGS> list;
    DWORD flags = CRYPT_FIRST;
    while (true) {
        PROV_ENUMALGS record{};
        DWORD length = sizeof record;
        if (!CryptGetProvParam(provider, PP_ENUMALGS, reinterpret_cast<BYTE*>(&record), &length, flags)) {
            EXPECT_EQ(code(ERROR_NO_MORE_ITEMS), lastError());
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
    for (const PROV_ENUMALGS& record : list)
        if (record.aiAlgid == id)
            return true;
    return false;
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
    Provider provider;
    ASSERT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    DWORD length = 0;
    ASSERT_TRUE(CryptGetProvParam(provider.handle, PP_ENUMALGS, nullptr, &length, CRYPT_FIRST));
    EXPECT_EQ(sizeof(PROV_ENUMALGS), length);
    BYTE small[8];
    length = sizeof small;
    EXPECT_FALSE(CryptGetProvParam(provider.handle, PP_ENUMALGS, small, &length, CRYPT_FIRST));
    EXPECT_EQ(code(ERROR_MORE_DATA), lastError());
    EXPECT_EQ(sizeof(PROV_ENUMALGS), length);
    EXPECT_FALSE(CryptGetProvParam(provider.handle, 0x7777, small, &length, 0));
    EXPECT_EQ(code(NTE_BAD_TYPE), lastError());
}

// ---- containers -------------------------------------------------------------

TEST_F(CryptoTest, ContainerLifecycleCodes)
{
    HCRYPTPROV handle = 0;
    EXPECT_FALSE(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, 0));
    EXPECT_EQ(code(NTE_BAD_KEYSET), lastError());
    {
        Provider created;
        ASSERT_TRUE(CryptAcquireContextA(&created.handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    }
    EXPECT_FALSE(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_EQ(code(NTE_EXISTS), lastError());
    {
        Provider opened;
        ASSERT_TRUE(CryptAcquireContextA(&opened.handle, kContainer, MS_STRONG_PROV_A, PROV_RSA_FULL, 0));
        Key key;
        EXPECT_FALSE(CryptGetUserKey(opened.handle, AT_KEYEXCHANGE, &key.handle));
        EXPECT_EQ(code(NTE_NO_KEY), lastError());
        EXPECT_FALSE(CryptGetUserKey(opened.handle, 7, &key.handle));
        EXPECT_EQ(code(NTE_BAD_KEY), lastError());
    }
    EXPECT_TRUE(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
    EXPECT_FALSE(CryptAcquireContextA(&handle, kContainer, nullptr, PROV_RSA_FULL, 0));
    EXPECT_EQ(code(NTE_BAD_KEYSET), lastError());
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
    Bytes exported;
    {
        Provider provider;
        ASSERT_TRUE(CryptAcquireContextA(&provider.handle, kContainer, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
        Key key;
        ASSERT_TRUE(CryptGenKey(provider.handle, AT_SIGNATURE, 1024u << 16, &key.handle));
        exported = exportPublic(key.handle);
    }
    Provider reopened;
    ASSERT_TRUE(CryptAcquireContextA(&reopened.handle, kContainer, nullptr, PROV_RSA_FULL, 0));
    Key key;
    ASSERT_TRUE(CryptGetUserKey(reopened.handle, AT_SIGNATURE, &key.handle));
    EXPECT_EQ(exported, exportPublic(key.handle));
    EXPECT_EQ(20u + 128u, exported.size());
    struct stat st {};
    ASSERT_EQ(0, stat((root() + "/containers/" + kContainer + "/sig.pem").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(CryptoTest, VerifyContextKeysAreNotPersisted)
{
    Provider provider;
    ASSERT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    Key key, user;
    ASSERT_TRUE(CryptGenKey(provider.handle, AT_KEYEXCHANGE, 0, &key.handle));
    EXPECT_TRUE(CryptGetUserKey(provider.handle, AT_KEYEXCHANGE, &user.handle));
    struct stat st {};
    EXPECT_NE(0, stat((root() + "/containers").c_str(), &st));
}

TEST_F(CryptoTest, GenKeyRejectsBadAlgorithmsAndSizes)
{
    Provider provider, dss;
    ASSERT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    ASSERT_TRUE(CryptAcquireContextA(&dss.handle, nullptr, nullptr, PROV_DSS, CRYPT_VERIFYCONTEXT));
    HCRYPTKEY key = 0;
    EXPECT_FALSE(CryptGenKey(provider.handle, CALG_RC4, 0, &key));
    EXPECT_EQ(code(NTE_BAD_ALGID), lastError());
    EXPECT_FALSE(CryptGenKey(provider.handle, AT_SIGNATURE, 100u << 16, &key));
    EXPECT_EQ(code(NTE_BAD_FLAGS), lastError());
    EXPECT_FALSE(CryptGenKey(dss.handle, AT_SIGNATURE, 0, &key));
    EXPECT_EQ(code(NTE_BAD_ALGID), lastError());
    EXPECT_EQ(0u, key);
}

// ---- key blobs ---------------------------------------------------------------

TEST_F(CryptoTest, ExportedPublicBlobCarriesTheModulusLittleEndian)
{
    Pkey rsa = makeRsaKey(1024);
    Provider provider;
    provision(provider, rsa.get(), AT_KEYEXCHANGE);
    Key key;
    ASSERT_TRUE(CryptGetUserKey(provider.handle, AT_KEYEXCHANGE, &key.handle));
    Bytes blob = exportPublic(key.handle);
    ASSERT_EQ(20u + 128u, blob.size());
    EXPECT_EQ(PUBLICKEYBLOB, blob[0]);
    ALG_ID algorithm = 0;
    std::memcpy(&algorithm, blob.data() + 4, 4);
    EXPECT_EQ(static_cast<ALG_ID>(CALG_RSA_KEYX), algorithm);
    BIGNUM* n = nullptr;
    EVP_PKEY_get_bn_param(rsa.get(), "n", &n);
    Bytes modulus(128);
    BN_bn2binpad(n, modulus.data(), 128);
    BN_free(n);
    EXPECT_EQ(reversed(modulus), Bytes(blob.begin() + 20, blob.end()));

    Bytes small(10);
    DWORD length = static_cast<DWORD>(small.size());
    EXPECT_FALSE(CryptExportKey(key.handle, 0, PUBLICKEYBLOB, 0, small.data(), &length));
    EXPECT_EQ(code(ERROR_MORE_DATA), lastError());
    EXPECT_EQ(blob.size(), length);
    EXPECT_FALSE(CryptExportKey(key.handle, 0, PRIVATEKEYBLOB, 0, nullptr, &length));
    EXPECT_EQ(code(NTE_BAD_KEY_STATE), lastError());
}

TEST_F(CryptoTest, MalformedBlobsAreRefused)
{
    Pkey rsa = makeRsaKey(1024);
    Bytes good = privateKeyBlob(rsa.get(), CALG_RSA_KEYX);
    Provider provider;
    ASSERT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    HCRYPTKEY key = 0;
    EXPECT_FALSE(CryptImportKey(provider.handle, good.data(), static_cast<DWORD>(good.size() - 1), 0, 0, &key));
    EXPECT_EQ(code(NTE_BAD_DATA), lastError());
    Bytes badVersion = good;
    badVersion[1] = 9;
    EXPECT_FALSE(CryptImportKey(provider.handle, badVersion.data(), static_cast<DWORD>(badVersion.size()), 0, 0, &key));
    EXPECT_EQ(code(NTE_BAD_VER), lastError());
    Bytes badAlgorithm = good;
    badAlgorithm[4] = 0x01;
    badAlgorithm[5] = 0x68; // CALG_RC4
    EXPECT_FALSE(
        CryptImportKey(provider.handle, badAlgorithm.data(), static_cast<DWORD>(badAlgorithm.size()), 0, 0, &key));
    EXPECT_EQ(code(NTE_BAD_ALGID), lastError());
    Bytes inconsistent = good;
    inconsistent[20 + 128 + 5] ^= 0x5A; // a byte of the first prime
    EXPECT_FALSE(
        CryptImportKey(provider.handle, inconsistent.data(), static_cast<DWORD>(inconsistent.size()), 0, 0, &key));
    EXPECT_EQ(code(NTE_BAD_DATA), lastError());
    EXPECT_FALSE(CryptImportKey(provider.handle, nullptr, 20, 0, 0, &key));
    EXPECT_EQ(code(ERROR_INVALID_PARAMETER), lastError());
    EXPECT_EQ(0u, key);
}

// ---- signatures -----------------------------------------------------------

TEST_F(CryptoTest, SignaturesAreLittleEndianPkcs1VerifiedByOpenssl)
{
    Pkey rsa = makeRsaKey(2048);
    Provider provider;
    provision(provider, rsa.get(), AT_SIGNATURE);
    Bytes digest = sha1("message to sign");
    Bytes signature = signDigest(provider.handle, CALG_SHA1, digest, AT_SIGNATURE);
    ASSERT_EQ(256u, signature.size());
    EXPECT_TRUE(opensslVerifies(rsa.get(), EVP_sha1(), digest, reversed(signature)));
    EXPECT_FALSE(opensslVerifies(rsa.get(), EVP_sha1(), digest, signature));

    Bytes md5Digest(16);
    RAND_bytes(md5Digest.data(), 16);
    Bytes md5Signature = signDigest(provider.handle, CALG_MD5, md5Digest, AT_SIGNATURE);
    EXPECT_TRUE(opensslVerifies(rsa.get(), EVP_md5(), md5Digest, reversed(md5Signature)));
}

TEST_F(CryptoTest, SignHashLengthQueryAndShortBuffer)
{
    Pkey rsa = makeRsaKey(1024);
    Provider provider;
    provision(provider, rsa.get(), AT_KEYEXCHANGE);
    Hash hash;
    ASSERT_TRUE(CryptCreateHash(provider.handle, CALG_SHA1, 0, 0, &hash.handle));
    Bytes digest = sha1("x");
    ASSERT_TRUE(CryptSetHashParam(hash.handle, HP_HASHVAL, digest.data(), 0));
    DWORD length = 0;
    ASSERT_TRUE(CryptSignHashA(hash.handle, AT_KEYEXCHANGE, nullptr, 0, nullptr, &length));
    EXPECT_EQ(128u, length);
    Bytes shortBuffer(64);
    length = 64;
    EXPECT_FALSE(CryptSignHashA(hash.handle, AT_KEYEXCHANGE, nullptr, 0, shortBuffer.data(), &length));
    EXPECT_EQ(code(ERROR_MORE_DATA), lastError());
    EXPECT_EQ(128u, length);
    EXPECT_FALSE(CryptSignHashA(hash.handle, AT_SIGNATURE, nullptr, 0, nullptr, &length));
    EXPECT_EQ(code(NTE_NO_KEY), lastError());
}

TEST_F(CryptoTest, VerifySignatureAcceptsOwnAndRejectsTampered)
{
    Pkey rsa = makeRsaKey(1024);
    Provider provider;
    provision(provider, rsa.get(), AT_SIGNATURE);
    Bytes digest = sha1("verify me");
    Bytes signature = signDigest(provider.handle, CALG_SHA1, digest, AT_SIGNATURE);
    Key publicKey;
    ASSERT_TRUE(CryptGetUserKey(provider.handle, AT_SIGNATURE, &publicKey.handle));
    Hash hash;
    ASSERT_TRUE(CryptCreateHash(provider.handle, CALG_SHA1, 0, 0, &hash.handle));
    ASSERT_TRUE(CryptHashData(hash.handle, reinterpret_cast<const BYTE*>("verify me"), 9, 0));
    EXPECT_TRUE(CryptVerifySignatureA(hash.handle, signature.data(), static_cast<DWORD>(signature.size()),
                                      publicKey.handle, nullptr, 0));
    signature[3] ^= 1;
    EXPECT_FALSE(CryptVerifySignatureA(hash.handle, signature.data(), static_cast<DWORD>(signature.size()),
                                       publicKey.handle, nullptr, 0));
    EXPECT_EQ(code(NTE_BAD_SIGNATURE), lastError());
}

TEST_F(CryptoTest, HashObjectsCheckTheirArguments)
{
    Provider provider, dss;
    ASSERT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    HCRYPTHASH hash = 0;
    EXPECT_FALSE(CryptCreateHash(provider.handle, CALG_RSA_SIGN, 0, 0, &hash));
    EXPECT_EQ(code(NTE_BAD_ALGID), lastError());
    EXPECT_FALSE(CryptCreateHash(provider.handle, CALG_SHA_256, 0, 0, &hash)); // only the AES provider has it
    EXPECT_EQ(code(NTE_BAD_ALGID), lastError());
    EXPECT_FALSE(CryptCreateHash(provider.handle, CALG_SHA1, 0, 1, &hash));
    EXPECT_EQ(code(NTE_BAD_FLAGS), lastError());
    EXPECT_FALSE(CryptCreateHash(0xdead, CALG_SHA1, 0, 0, &hash));
    EXPECT_EQ(code(NTE_BAD_UID), lastError());
    EXPECT_FALSE(CryptDestroyHash(0xbeef));
    EXPECT_EQ(code(NTE_BAD_HASH), lastError());

    Hash valueSet;
    ASSERT_TRUE(CryptCreateHash(provider.handle, CALG_MD5, 0, 0, &valueSet.handle));
    Bytes digest(16, 0xAB);
    ASSERT_TRUE(CryptSetHashParam(valueSet.handle, HP_HASHVAL, digest.data(), 0));
    EXPECT_FALSE(CryptHashData(valueSet.handle, digest.data(), 4, 0));
    EXPECT_EQ(code(NTE_BAD_HASH_STATE), lastError());
    Bytes read(16);
    DWORD length = 16;
    ASSERT_TRUE(CryptGetHashParam(valueSet.handle, HP_HASHVAL, read.data(), &length, 0));
    EXPECT_EQ(digest, read);
    EXPECT_FALSE(CryptSetHashParam(valueSet.handle, HP_HASHVAL, nullptr, 0));
    EXPECT_EQ(code(ERROR_INVALID_PARAMETER), lastError());
}

// ---- encryption -------------------------------------------------------------

TEST_F(CryptoTest, DecryptsWhatOpensslEncryptedOnceReversed)
{
    Pkey rsa = makeRsaKey(1024);
    Provider provider;
    provision(provider, rsa.get(), AT_KEYEXCHANGE);
    Key key;
    ASSERT_TRUE(CryptGetUserKey(provider.handle, AT_KEYEXCHANGE, &key.handle));
    Bytes secret(24);
    RAND_bytes(secret.data(), 24);
    Bytes data = reversed(opensslEncrypt(rsa.get(), secret));
    DWORD length = static_cast<DWORD>(data.size());
    ASSERT_TRUE(CryptDecrypt(key.handle, 0, TRUE, 0, data.data(), &length));
    ASSERT_EQ(secret.size(), length);
    EXPECT_EQ(secret, Bytes(data.begin(), data.begin() + length));
}

TEST_F(CryptoTest, DecryptReportsBadPaddingAndLength)
{
    Pkey rsa = makeRsaKey(1024);
    Provider provider;
    provision(provider, rsa.get(), AT_KEYEXCHANGE);
    Key key;
    ASSERT_TRUE(CryptGetUserKey(provider.handle, AT_KEYEXCHANGE, &key.handle));
    Bytes notReversed = opensslEncrypt(rsa.get(), Bytes(16, 7));
    DWORD length = static_cast<DWORD>(notReversed.size());
    EXPECT_FALSE(CryptDecrypt(key.handle, 0, TRUE, 0, notReversed.data(), &length));
    EXPECT_EQ(code(NTE_BAD_DATA), lastError());
    Bytes tooShort(100, 1);
    length = 100;
    EXPECT_FALSE(CryptDecrypt(key.handle, 0, TRUE, 0, tooShort.data(), &length));
    EXPECT_EQ(code(NTE_BAD_LEN), lastError());
    EXPECT_FALSE(CryptDecrypt(0x4242, 0, TRUE, 0, tooShort.data(), &length));
    EXPECT_EQ(code(NTE_BAD_KEY), lastError());
}

TEST_F(CryptoTest, EncryptOutputDecryptsWithOpensslOnceReversed)
{
    Pkey rsa = makeRsaKey(1024);
    Provider provider;
    provision(provider, rsa.get(), AT_KEYEXCHANGE);
    Key key;
    ASSERT_TRUE(CryptGetUserKey(provider.handle, AT_KEYEXCHANGE, &key.handle));
    Bytes buffer(128, 0);
    const char message[] = "session key bytes";
    std::memcpy(buffer.data(), message, sizeof message);
    DWORD length = sizeof message;
    DWORD needed = length;
    ASSERT_TRUE(CryptEncrypt(key.handle, 0, TRUE, 0, nullptr, &needed, 0));
    EXPECT_EQ(128u, needed);
    ASSERT_TRUE(CryptEncrypt(key.handle, 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size())));
    ASSERT_EQ(128u, length);
    Bytes cipher = reversed(buffer);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(rsa.get(), nullptr),
                                                                    EVP_PKEY_CTX_free);
    Bytes plain(128);
    std::size_t plainLength = plain.size();
    ASSERT_EQ(1, EVP_PKEY_decrypt_init(ctx.get()));
    ASSERT_EQ(1, EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING));
    ASSERT_EQ(1, EVP_PKEY_decrypt(ctx.get(), plain.data(), &plainLength, cipher.data(), cipher.size()));
    EXPECT_EQ(std::string(message, sizeof message), std::string(plain.begin(), plain.begin() + plainLength));

    length = 120; // more than fits a 1024-bit PKCS#1 block
    EXPECT_FALSE(CryptEncrypt(key.handle, 0, TRUE, 0, buffer.data(), &length, 128));
    EXPECT_EQ(code(NTE_BAD_LEN), lastError());
}

TEST_F(CryptoTest, GenRandomFillsAndChecksArguments)
{
    Provider provider;
    ASSERT_TRUE(CryptAcquireContextA(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    Bytes first(64, 0), second(64, 0);
    ASSERT_TRUE(CryptGenRandom(provider.handle, 64, first.data()));
    ASSERT_TRUE(CryptGenRandom(provider.handle, 64, second.data()));
    EXPECT_NE(first, second);
    EXPECT_NE(Bytes(64, 0), first);
    EXPECT_FALSE(CryptGenRandom(provider.handle, 8, nullptr));
    EXPECT_EQ(code(ERROR_INVALID_PARAMETER), lastError());
    EXPECT_FALSE(CryptGenRandom(0x999, 8, first.data()));
    EXPECT_EQ(code(NTE_BAD_UID), lastError());
}

TEST_F(CryptoTest, ConcurrentSigningWithOneContainer)
{
    Pkey rsa = makeRsaKey(1024);
    {
        Provider provider;
        provision(provider, rsa.get(), AT_SIGNATURE);
    }
    std::vector<std::thread> threads;
    std::vector<int> verified(6, 0);
    for (std::size_t t = 0; t < verified.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                Provider provider;
                if (!CryptAcquireContextA(&provider.handle, kContainer, nullptr, PROV_RSA_FULL, 0))
                    return;
                Bytes digest = sha1("thread " + std::to_string(t) + " round " + std::to_string(i));
                Bytes signature = signDigest(provider.handle, CALG_SHA1, digest, AT_SIGNATURE);
                if (opensslVerifies(rsa.get(), EVP_sha1(), digest, reversed(signature)))
                    ++verified[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int count : verified)
        EXPECT_EQ(5, count);
}

} // namespace
