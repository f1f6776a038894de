// CryptoAPI provider, key and hash functions over OpenSSL. RSA results are
// little-endian, as CryptoAPI returns them. Handles live in three tables;
// each object guards its own mutable state.
#include "tests/standin/Common.h"
#include "platform/linux/HandleTable.h"
#include "tests/standin/KeyBlob.h"
#include "tests/standin/Providers.h"

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace orv::platform {
namespace {

constexpr DWORD kAllowedAcquireFlags =
    CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
constexpr DWORD kMinRsaBits = 384, kMaxRsaBits = 16384;

// An acquired context: a provider and, unless it is a verify context, a
// key container. Verify contexts keep generated keys in memory only.
class Provider {
public:
    Provider(const ProviderInfo& info, std::string container, bool verifyContext)
        : info_(info), store_(info), container_(std::move(container)), verify_(verifyContext)
    {
    }

    const ProviderInfo& info() const { return info_; }
    const std::string& container() const { return container_; }

    // The key pair of a key spec; null with NTE_NO_KEY (or another code).
    SharedPkey userKey(DWORD keySpec, LONG& error)
    {
        std::lock_guard<std::mutex> guard(lock_);
        error = 0;
        if (verify_) {
            auto it = ephemeral_.find(keySpec);
            if (it != ephemeral_.end()) {
                return it->second;
            }
            error = NTE_NO_KEY;
            return nullptr;
        }
        PkeyPtr key = store_.loadKey(container_, keySpec, error);
        if (!key && error == 0) {
            error = NTE_NO_KEY;
        }
        return key ? sharePkey(std::move(key)) : nullptr;
    }

    standin::CancelSigning signingCancel() const
    {
        return verify_ ? standin::CancelSigning::Never : store_.signingCancel(container_);
    }

    bool keepUserKey(DWORD keySpec, const SharedPkey& key)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (verify_) {
            ephemeral_[keySpec] = key;
            return true;
        }
        return store_.storeKey(container_, keySpec, key.get());
    }

    // Cursor-based enumeration, as CRYPT_FIRST / next calls expect.
    BOOL enumAlgorithm(DWORD flags, BYTE* data, DWORD* length)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (flags & CRYPT_FIRST) {
            algorithmCursor_ = 0;
        }
        if (algorithmCursor_ >= info_.algorithms.size()) {
            return fail(ERROR_NO_MORE_ITEMS);
        }
        if (data == nullptr) {
            *length = sizeof(PROV_ENUMALGS);
            return TRUE;
        }
        if (*length < sizeof(PROV_ENUMALGS)) {
            *length = sizeof(PROV_ENUMALGS);
            return fail(ERROR_MORE_DATA);
        }
        const AlgorithmInfo& algorithm = info_.algorithms[algorithmCursor_++];
        PROV_ENUMALGS record{};
        record.aiAlgid = algorithm.id;
        record.dwBitLen = algorithm.bits;
        std::strncpy(record.szName, algorithm.name, sizeof record.szName - 1);
        record.dwNameLen = static_cast<DWORD>(std::strlen(record.szName) + 1);
        std::memcpy(data, &record, sizeof record);
        *length = sizeof record;
        return TRUE;
    }

    BOOL enumContainer(DWORD flags, BYTE* data, DWORD* length);

private:
    const ProviderInfo& info_;
    ContainerStore store_;
    std::string container_;
    bool verify_;
    std::mutex lock_;
    std::size_t algorithmCursor_ = 0;
    std::vector<std::string> containerList_;
    std::size_t containerCursor_ = 0;
    std::map<DWORD, SharedPkey> ephemeral_;
};

BOOL copyOut(const void* value, DWORD size, BYTE* data, DWORD* length)
{
    if (data == nullptr) {
        *length = size;
        return TRUE;
    }
    if (*length < size) {
        *length = size;
        return fail(ERROR_MORE_DATA);
    }
    std::memcpy(data, value, size);
    *length = size;
    return TRUE;
}

BOOL Provider::enumContainer(DWORD flags, BYTE* data, DWORD* length)
{
    std::lock_guard<std::mutex> guard(lock_);
    if ((flags & CRYPT_FIRST) || containerList_.empty()) {
        if (flags & CRYPT_FIRST) {
            containerCursor_ = 0;
        }
        containerList_ = store_.names();
    }
    if (containerCursor_ >= containerList_.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    const std::string& name = containerList_[containerCursor_];
    if (!copyOut(name.c_str(), static_cast<DWORD>(name.size() + 1), data, length)) {
        return FALSE;
    }
    if (data != nullptr) {
        ++containerCursor_;
    }
    return TRUE;
}

struct Key {
    std::shared_ptr<Provider> provider;
    SharedPkey pkey;
    ALG_ID algorithm;
    bool hasPrivate;
};

class Hash {
public:
    Hash(std::shared_ptr<Provider> provider, ALG_ID algorithm, const EVP_MD* md, MdCtxPtr ctx)
        : provider_(std::move(provider)), algorithm_(algorithm), md_(md), ctx_(std::move(ctx))
    {
    }

    const std::shared_ptr<Provider>& provider() const { return provider_; }
    ALG_ID algorithm() const { return algorithm_; }
    const EVP_MD* md() const { return md_; }
    DWORD size() const { return static_cast<DWORD>(EVP_MD_get_size(md_)); }

    BOOL update(const BYTE* data, DWORD length)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (finished_) {
            return fail(NTE_BAD_HASH_STATE);
        }
        if (EVP_DigestUpdate(ctx_.get(), data, length) != 1) {
            return fail(NTE_FAIL);
        }
        return TRUE;
    }

    void setValue(const BYTE* value)
    {
        std::lock_guard<std::mutex> guard(lock_);
        value_.assign(value, value + size());
        finished_ = true;
    }

    // The hash value; finishing the computation on first use.
    bool value(Bytes& out)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!finished_) {
            value_.assign(size(), 0);
            unsigned int written = 0;
            if (EVP_DigestFinal_ex(ctx_.get(), value_.data(), &written) != 1) {
                return false;
            }
            finished_ = true;
        }
        out = value_;
        return true;
    }

private:
    std::shared_ptr<Provider> provider_;
    ALG_ID algorithm_;
    const EVP_MD* md_;
    MdCtxPtr ctx_;
    std::mutex lock_;
    Bytes value_;
    bool finished_ = false;
};

HandleTable<Provider>& providerHandles()
{
    static HandleTable<Provider> table(0x100000);
    return table;
}
HandleTable<Key>& keyHandles()
{
    static HandleTable<Key> table(0x200000);
    return table;
}
HandleTable<Hash>& hashHandles()
{
    static HandleTable<Hash> table(0x300000);
    return table;
}

std::string defaultContainerName()
{
    // Windows names the default container after the logged-on user.
    const char* user = std::getenv("USER");
    if (user != nullptr && user[0] != '\0') {
        return user;
    }
    struct passwd* pw = getpwuid(getuid());
    return pw != nullptr ? pw->pw_name : "default";
}

LONG resolveProvider(LPCSTR name, DWORD type, const ProviderInfo*& provider)
{
    if (name != nullptr && name[0] != '\0') {
        provider = providerByName(name);
        if (provider == nullptr) {
            return NTE_KEYSET_NOT_DEF;
        }
        return provider->type == type ? 0 : NTE_PROV_TYPE_NO_MATCH;
    }
    if (type == 0 || type > 999) {
        return NTE_BAD_PROV_TYPE;
    }
    provider = defaultProvider(type);
    return provider ? 0 : NTE_PROV_TYPE_NOT_DEF;
}

const EVP_MD* digestFor(ALG_ID algorithm)
{
    switch (algorithm) {
    case CALG_SHA1:
        return EVP_sha1();
    case CALG_MD5:
        return EVP_md5();
    case CALG_SHA_256:
        return EVP_sha256();
    case CALG_SHA_384:
        return EVP_sha384();
    case CALG_SHA_512:
        return EVP_sha512();
    default:
        return nullptr;
    }
}

ALG_ID rsaAlgorithmFor(ALG_ID requested)
{
    if (requested == AT_KEYEXCHANGE || requested == CALG_RSA_KEYX) {
        return CALG_RSA_KEYX;
    }
    if (requested == AT_SIGNATURE || requested == CALG_RSA_SIGN) {
        return CALG_RSA_SIGN;
    }
    return 0;
}

DWORD keySpecFor(ALG_ID rsaAlgorithm)
{
    return rsaAlgorithm == CALG_RSA_SIGN ? AT_SIGNATURE : AT_KEYEXCHANGE;
}

void reverseBytes(BYTE* data, std::size_t size)
{
    std::reverse(data, data + size);
}

PkeyPtr generateRsaKey(DWORD bits)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), static_cast<int>(bits)) <= 0 ||
        EVP_PKEY_generate(ctx.get(), &key) <= 0) {
        return nullptr;
    }
    return PkeyPtr(key);
}

HCRYPTKEY addKey(const std::shared_ptr<Provider>& provider, SharedPkey pkey, ALG_ID algorithm, bool hasPrivate)
{
    return keyHandles().add(std::make_shared<Key>(Key{provider, std::move(pkey), algorithm, hasPrivate}));
}

// PKCS#1 v1.5 signature of a hash, DigestInfo included unless told not to.
bool rsaSign(EVP_PKEY* key, const EVP_MD* md, const Bytes& hash, SecureBytes& signature)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    signature.assign(length, 0);
    bool ok = ctx && EVP_PKEY_sign_init(ctx.get()) > 0 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) > 0 &&
              (md == nullptr || EVP_PKEY_CTX_set_signature_md(ctx.get(), md) > 0) &&
              EVP_PKEY_sign(ctx.get(), signature.data(), &length, hash.data(), hash.size()) > 0;
    ERR_clear_error();
    signature.resize(ok ? length : 0);
    return ok;
}

bool rsaVerify(EVP_PKEY* key, const EVP_MD* md, const Bytes& hash, const Bytes& signature)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    bool ok = ctx && EVP_PKEY_verify_init(ctx.get()) > 0 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) > 0 &&
              (md == nullptr || EVP_PKEY_CTX_set_signature_md(ctx.get(), md) > 0) &&
              EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), hash.data(), hash.size()) == 1;
    ERR_clear_error();
    return ok;
}

bool rsaEncrypt(EVP_PKEY* key, int padding, const BYTE* plain, std::size_t plainLength, Bytes& cipher)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    cipher.assign(length, 0);
    bool ok = ctx && EVP_PKEY_encrypt_init(ctx.get()) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) > 0 &&
              EVP_PKEY_encrypt(ctx.get(), cipher.data(), &length, plain, plainLength) > 0;
    ERR_clear_error();
    cipher.resize(ok ? length : 0);
    return ok;
}

bool rsaDecrypt(EVP_PKEY* key, int padding, const SecureBytes& cipher, SecureBytes& plain)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    std::size_t length = cipher.size();
    plain.assign(length, 0);
    bool ok = ctx && EVP_PKEY_decrypt_init(ctx.get()) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) > 0;
    if (ok && padding == RSA_PKCS1_PADDING) {
        // CryptoAPI reports bad padding (NTE_BAD_DATA); newer OpenSSL would
        // otherwise return random bytes instead. Older versions lack the knob.
        EVP_PKEY_CTX_ctrl_str(ctx.get(), "rsa_pkcs1_implicit_rejection", "0");
    }
    ok = ok && EVP_PKEY_decrypt(ctx.get(), plain.data(), &length, cipher.data(), cipher.size()) > 0;
    ERR_clear_error();
    plain.resize(ok ? length : 0);
    return ok;
}

} // namespace
} // namespace orv::platform

using namespace orv::platform;

extern "C" {

BOOL WINAPI CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider, DWORD dwProvType,
                                 DWORD dwFlags)
{
    if (phProv == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *phProv = 0;
    if ((dwFlags & ~kAllowedAcquireFlags) != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    const ProviderInfo* info = nullptr;
    if (LONG error = resolveProvider(szProvider, dwProvType, info)) {
        return fail(error);
    }

    if ((dwFlags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT) {
        *phProv = providerHandles().add(std::make_shared<Provider>(*info, "", true));
        return TRUE;
    }
    std::string container = (szContainer != nullptr && szContainer[0] != '\0') ? szContainer : defaultContainerName();
    ContainerStore store(*info);
    if (dwFlags & CRYPT_DELETEKEYSET) {
        if (!store.exists(container)) {
            return fail(NTE_BAD_KEYSET);
        }
        if (!store.remove(container)) {
            return fail(NTE_FAIL);
        }
        return TRUE;
    }
    if (dwFlags & CRYPT_NEWKEYSET) {
        LONG error = 0;
        if (!store.create(container, error)) {
            return fail(error);
        }
    } else if (!store.exists(container)) {
        return fail(NTE_BAD_KEYSET);
    }
    *phProv = providerHandles().add(std::make_shared<Provider>(*info, container, false));
    return TRUE;
}

BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags)
{
    if (hProv == 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (dwFlags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (!providerHandles().remove(hProv)) {
        return fail(NTE_BAD_UID);
    }
    return TRUE;
}

BOOL WINAPI CryptGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags)
{
    std::shared_ptr<Provider> provider = providerHandles().find(hProv);
    if (!provider) {
        return fail(NTE_BAD_UID);
    }
    if (pdwDataLen == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    switch (dwParam) {
    case PP_ENUMALGS:
        return provider->enumAlgorithm(dwFlags, pbData, pdwDataLen);
    case PP_ENUMCONTAINERS:
        return provider->enumContainer(dwFlags, pbData, pdwDataLen);
    case PP_NAME: {
        const char* name = provider->info().name;
        return copyOut(name, static_cast<DWORD>(std::strlen(name) + 1), pbData, pdwDataLen);
    }
    case PP_CONTAINER:
    case PP_UNIQUE_CONTAINER: {
        const std::string& name = provider->container();
        return copyOut(name.c_str(), static_cast<DWORD>(name.size() + 1), pbData, pdwDataLen);
    }
    case PP_PROVTYPE: {
        DWORD type = provider->info().type;
        return copyOut(&type, sizeof type, pbData, pdwDataLen);
    }
    case PP_IMPTYPE: {
        DWORD implementation = CRYPT_IMPL_SOFTWARE;
        return copyOut(&implementation, sizeof implementation, pbData, pdwDataLen);
    }
    case PP_VERSION: {
        DWORD version = 0x200;
        return copyOut(&version, sizeof version, pbData, pdwDataLen);
    }
    default:
        return fail(NTE_BAD_TYPE);
    }
}

BOOL WINAPI CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey)
{
    std::shared_ptr<Provider> provider = providerHandles().find(hProv);
    if (!provider) {
        return fail(NTE_BAD_UID);
    }
    if (phKey == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    ALG_ID algorithm = rsaAlgorithmFor(Algid);
    if (algorithm == 0 || provider->info().defaultRsaBits == 0) {
        return fail(NTE_BAD_ALGID);
    }
    DWORD bits = dwFlags >> 16;
    if (bits == 0) {
        bits = provider->info().defaultRsaBits;
    }
    if (bits < kMinRsaBits || bits > kMaxRsaBits || bits % 8 != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    PkeyPtr generated = generateRsaKey(bits);
    if (!generated) {
        return fail(NTE_FAIL);
    }
    SharedPkey key = sharePkey(std::move(generated));
    if (!provider->keepUserKey(keySpecFor(algorithm), key)) {
        return fail(NTE_FAIL);
    }
    *phKey = addKey(provider, key, algorithm, true);
    return TRUE;
}

BOOL WINAPI CryptImportKey(HCRYPTPROV hProv, CONST BYTE* pbData, DWORD dwDataLen, HCRYPTKEY hPubKey, DWORD,
                           HCRYPTKEY* phKey)
{
    std::shared_ptr<Provider> provider = providerHandles().find(hProv);
    if (!provider) {
        return fail(NTE_BAD_UID);
    }
    if (pbData == nullptr || phKey == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (hPubKey != 0) {
        return fail(NTE_BAD_KEY); // encrypted blobs are not offered
    }
    if (provider->info().defaultRsaBits == 0) {
        return fail(NTE_BAD_ALGID);
    }
    ImportedKey imported;
    if (LONG error = rsaKeyFromBlob(pbData, dwDataLen, imported)) {
        return fail(error);
    }
    SharedPkey key = sharePkey(std::move(imported.key));
    // A private key joins the container, as it does on Windows.
    if (imported.isPrivate && !provider->keepUserKey(keySpecFor(imported.algorithm), key)) {
        return fail(NTE_FAIL);
    }
    *phKey = addKey(provider, key, imported.algorithm, imported.isPrivate);
    return TRUE;
}

BOOL WINAPI CryptExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey, DWORD dwBlobType, DWORD dwFlags, BYTE* pbData,
                           DWORD* pdwDataLen)
{
    std::shared_ptr<Key> key = keyHandles().find(hKey);
    if (!key) {
        return fail(NTE_BAD_KEY);
    }
    if (pdwDataLen == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (hExpKey != 0 || dwFlags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    // Private keys stay in the container: they are not exportable here.
    if (dwBlobType == PRIVATEKEYBLOB) {
        return fail(NTE_BAD_KEY_STATE);
    }
    if (dwBlobType != PUBLICKEYBLOB) {
        return fail(NTE_BAD_TYPE);
    }
    Bytes blob;
    if (!rsaPublicKeyBlob(key->pkey.get(), key->algorithm, blob)) {
        return fail(NTE_FAIL);
    }
    return copyOut(blob.data(), static_cast<DWORD>(blob.size()), pbData, pdwDataLen);
}

BOOL WINAPI CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey)
{
    std::shared_ptr<Provider> provider = providerHandles().find(hProv);
    if (!provider) {
        return fail(NTE_BAD_UID);
    }
    if (phUserKey == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (dwKeySpec != AT_KEYEXCHANGE && dwKeySpec != AT_SIGNATURE) {
        return fail(NTE_BAD_KEY);
    }
    LONG error = 0;
    SharedPkey key = provider->userKey(dwKeySpec, error);
    if (!key) {
        return fail(error);
    }
    *phUserKey = addKey(provider, key, dwKeySpec == AT_SIGNATURE ? CALG_RSA_SIGN : CALG_RSA_KEYX, true);
    return TRUE;
}

BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey)
{
    if (!keyHandles().remove(hKey)) {
        return fail(NTE_BAD_KEY);
    }
    return TRUE;
}

BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen,
                         DWORD dwBufLen)
{
    std::shared_ptr<Key> key = keyHandles().find(hKey);
    if (!key) {
        return fail(NTE_BAD_KEY);
    }
    if (pdwDataLen == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (hHash != 0) {
        return fail(NTE_BAD_HASH);
    }
    if ((dwFlags & ~CRYPT_OAEP) != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (!Final) {
        return fail(NTE_BAD_DATA); // an RSA block is always the final one
    }
    DWORD modulus = rsaModulusBytes(key->pkey.get());
    DWORD overhead = (dwFlags & CRYPT_OAEP) ? 42 : 11;
    if (*pdwDataLen + overhead > modulus) {
        return fail(NTE_BAD_LEN);
    }
    if (pbData == nullptr) {
        *pdwDataLen = modulus;
        return TRUE;
    }
    if (dwBufLen < modulus) {
        *pdwDataLen = modulus;
        return fail(ERROR_MORE_DATA);
    }
    Bytes cipher;
    int padding = (dwFlags & CRYPT_OAEP) ? RSA_PKCS1_OAEP_PADDING : RSA_PKCS1_PADDING;
    if (!rsaEncrypt(key->pkey.get(), padding, pbData, *pdwDataLen, cipher)) {
        return fail(NTE_FAIL);
    }
    reverseBytes(cipher.data(), cipher.size());
    std::memcpy(pbData, cipher.data(), cipher.size());
    *pdwDataLen = static_cast<DWORD>(cipher.size());
    return TRUE;
}

BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen)
{
    std::shared_ptr<Key> key = keyHandles().find(hKey);
    if (!key) {
        return fail(NTE_BAD_KEY);
    }
    if (pbData == nullptr || pdwDataLen == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (hHash != 0) {
        return fail(NTE_BAD_HASH);
    }
    if ((dwFlags & ~CRYPT_OAEP) != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (!key->hasPrivate) {
        return fail(NTE_BAD_KEY);
    }
    if (!Final) {
        return fail(NTE_BAD_DATA);
    }
    if (*pdwDataLen != rsaModulusBytes(key->pkey.get())) {
        return fail(NTE_BAD_LEN);
    }
    SecureBytes cipher(pbData, pbData + *pdwDataLen), plain;
    reverseBytes(cipher.data(), cipher.size());
    int padding = (dwFlags & CRYPT_OAEP) ? RSA_PKCS1_OAEP_PADDING : RSA_PKCS1_PADDING;
    if (!rsaDecrypt(key->pkey.get(), padding, cipher, plain)) {
        return fail(NTE_BAD_DATA);
    }
    std::memcpy(pbData, plain.data(), plain.size());
    *pdwDataLen = static_cast<DWORD>(plain.size());
    return TRUE;
}

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash)
{
    std::shared_ptr<Provider> provider = providerHandles().find(hProv);
    if (!provider) {
        return fail(NTE_BAD_UID);
    }
    if (phHash == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (hKey != 0) {
        return fail(NTE_BAD_KEY);
    }
    if (dwFlags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    const EVP_MD* md = provider->info().lists(Algid) ? digestFor(Algid) : nullptr;
    if (md == nullptr) {
        return fail(NTE_BAD_ALGID);
    }
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) {
        return fail(NTE_FAIL);
    }
    *phHash = hashHandles().add(std::make_shared<Hash>(provider, Algid, md, std::move(ctx)));
    return TRUE;
}

BOOL WINAPI CryptHashData(HCRYPTHASH hHash, CONST BYTE* pbData, DWORD dwDataLen, DWORD dwFlags)
{
    std::shared_ptr<Hash> hash = hashHandles().find(hHash);
    if (!hash) {
        return fail(NTE_BAD_HASH);
    }
    if (pbData == nullptr && dwDataLen > 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (dwFlags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    return hash->update(pbData, dwDataLen);
}

BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags)
{
    std::shared_ptr<Hash> hash = hashHandles().find(hHash);
    if (!hash) {
        return fail(NTE_BAD_HASH);
    }
    if (pdwDataLen == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (dwFlags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    switch (dwParam) {
    case HP_ALGID: {
        DWORD algorithm = hash->algorithm();
        return copyOut(&algorithm, sizeof algorithm, pbData, pdwDataLen);
    }
    case HP_HASHSIZE: {
        DWORD size = hash->size();
        return copyOut(&size, sizeof size, pbData, pdwDataLen);
    }
    case HP_HASHVAL: {
        if (pbData == nullptr) {
            return copyOut(nullptr, hash->size(), nullptr, pdwDataLen);
        }
        Bytes value;
        if (!hash->value(value)) {
            return fail(NTE_FAIL);
        }
        return copyOut(value.data(), static_cast<DWORD>(value.size()), pbData, pdwDataLen);
    }
    default:
        return fail(NTE_BAD_TYPE);
    }
}

BOOL WINAPI CryptSetHashParam(HCRYPTHASH hHash, DWORD dwParam, CONST BYTE* pbData, DWORD dwFlags)
{
    std::shared_ptr<Hash> hash = hashHandles().find(hHash);
    if (!hash) {
        return fail(NTE_BAD_HASH);
    }
    if (dwFlags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (dwParam != HP_HASHVAL) {
        return fail(NTE_BAD_TYPE);
    }
    if (pbData == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // Like Windows, the value is taken to be exactly one hash long.
    hash->setValue(pbData);
    return TRUE;
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash)
{
    if (!hashHandles().remove(hHash)) {
        return fail(NTE_BAD_HASH);
    }
    return TRUE;
}

BOOL WINAPI CryptSignHashA(HCRYPTHASH hHash, DWORD dwKeySpec, LPCSTR, DWORD dwFlags, BYTE* pbSignature,
                           DWORD* pdwSigLen)
{
    std::shared_ptr<Hash> hash = hashHandles().find(hHash);
    if (!hash) {
        return fail(NTE_BAD_HASH);
    }
    if (pdwSigLen == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlags & ~CRYPT_NOHASHOID) != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (dwKeySpec != AT_KEYEXCHANGE && dwKeySpec != AT_SIGNATURE) {
        return fail(NTE_BAD_KEY);
    }
    LONG error = 0;
    SharedPkey key = hash->provider()->userKey(dwKeySpec, error);
    if (!key) {
        return fail(error);
    }
    using orv::standin::CancelSigning;
    const CancelSigning cancelled = hash->provider()->signingCancel();
    if (cancelled == (pbSignature == nullptr ? CancelSigning::AtSizeQuery : CancelSigning::AtSignature)) {
        return fail(ERROR_CANCELLED);
    }
    DWORD length = rsaModulusBytes(key.get());
    if (pbSignature == nullptr) {
        *pdwSigLen = length;
        return TRUE;
    }
    if (*pdwSigLen < length) {
        *pdwSigLen = length;
        return fail(ERROR_MORE_DATA);
    }
    Bytes value;
    SecureBytes signature;
    if (!hash->value(value)) {
        return fail(NTE_FAIL);
    }
    const EVP_MD* md = (dwFlags & CRYPT_NOHASHOID) ? nullptr : hash->md();
    if (!rsaSign(key.get(), md, value, signature)) {
        return fail(NTE_BAD_HASH);
    }
    reverseBytes(signature.data(), signature.size());
    std::memcpy(pbSignature, signature.data(), signature.size());
    *pdwSigLen = static_cast<DWORD>(signature.size());
    return TRUE;
}

BOOL WINAPI CryptVerifySignatureA(HCRYPTHASH hHash, CONST BYTE* pbSignature, DWORD dwSigLen, HCRYPTKEY hPubKey, LPCSTR,
                                  DWORD dwFlags)
{
    std::shared_ptr<Hash> hash = hashHandles().find(hHash);
    if (!hash) {
        return fail(NTE_BAD_HASH);
    }
    std::shared_ptr<Key> key = keyHandles().find(hPubKey);
    if (!key) {
        return fail(NTE_BAD_KEY);
    }
    if (pbSignature == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlags & ~CRYPT_NOHASHOID) != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (dwSigLen != rsaModulusBytes(key->pkey.get())) {
        return fail(NTE_BAD_SIGNATURE);
    }
    Bytes value, signature(pbSignature, pbSignature + dwSigLen);
    if (!hash->value(value)) {
        return fail(NTE_FAIL);
    }
    reverseBytes(signature.data(), signature.size());
    const EVP_MD* md = (dwFlags & CRYPT_NOHASHOID) ? nullptr : hash->md();
    if (!rsaVerify(key->pkey.get(), md, value, signature)) {
        return fail(NTE_BAD_SIGNATURE);
    }
    return TRUE;
}

BOOL WINAPI CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer)
{
    if (!providerHandles().find(hProv)) {
        return fail(NTE_BAD_UID);
    }
    if (dwLen == 0) {
        return TRUE;
    }
    if (pbBuffer == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (dwLen > static_cast<DWORD>(INT32_MAX) || RAND_bytes(pbBuffer, static_cast<int>(dwLen)) != 1) {
        return fail(NTE_FAIL);
    }
    return TRUE;
}

} // extern "C"
