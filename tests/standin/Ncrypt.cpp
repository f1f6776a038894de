// The CNG key storage calls (ncrypt) over OpenSSL: storage providers, RSA
// and DSA keys opened from the state directory or RSA keys imported in
// memory, PKCS#1 v1.5 and DSA signatures, and decryption. Unlike CryptoAPI, CNG takes and gives numbers
// big-endian and returns its status instead of setting the last error.
#include "tests/standin/Common.h"
#include "platform/linux/HandleTable.h"
#include "tests/standin/KeyBlob.h"
#include "tests/standin/KeyStorage.h"

#include "tests/standin/StandInKeyStorage.h"

#include <openssl/dsa.h>
#include <openssl/err.h>
#include <openssl/rsa.h>

#include <cstring>

namespace orv::platform {
namespace {

constexpr DWORD kOpenKeyFlags = NCRYPT_MACHINE_KEY_FLAG | NCRYPT_SILENT_FLAG;

// A provider handle, or a key handle with the provider it came from. Keys
// imported in memory have no name and are never refused.
struct NcryptObject {
    std::string provider;
    bool isKey = false;
    std::string keyName;
    bool machine = false;
    SharedPkey key;
};

HandleTable<NcryptObject>& objects()
{
    static HandleTable<NcryptObject> table(0x500000);
    return table;
}

std::shared_ptr<NcryptObject> findKey(NCRYPT_KEY_HANDLE handle)
{
    std::shared_ptr<NcryptObject> object = objects().find(handle);
    return object && object->isKey ? object : nullptr;
}

std::shared_ptr<NcryptObject> findProvider(NCRYPT_PROV_HANDLE handle)
{
    std::shared_ptr<NcryptObject> object = objects().find(handle);
    return object && !object->isKey ? object : nullptr;
}

NCRYPT_KEY_HANDLE addKey(const NcryptObject& provider, std::string keyName, bool machine, SharedPkey key)
{
    auto object = std::make_shared<NcryptObject>();
    object->provider = provider.provider;
    object->isKey = true;
    object->keyName = std::move(keyName);
    object->machine = machine;
    object->key = std::move(key);
    return objects().add(std::move(object));
}

LONG refusalOf(const NcryptObject& key, KeyStorage::Stage stage = KeyStorage::Stage::Use)
{
    return key.keyName.empty() ? 0 : KeyStorage(key.provider, key.machine).refusal(key.keyName, stage);
}

bool isDsa(const NcryptObject& key)
{
    return EVP_PKEY_get_base_id(key.key.get()) == EVP_PKEY_DSA;
}

// The length of the DSA key's q, which r and s each fill.
DWORD dsaHalfBytes(EVP_PKEY* key)
{
    BIGNUM* q = nullptr;
    const DWORD bytes = EVP_PKEY_get_bn_param(key, "q", &q) == 1 ? static_cast<DWORD>(BN_num_bytes(q)) : 0;
    BN_free(q);
    return bytes;
}

// OpenSSL's DER signature as CNG gives it: r then s, each big-endian over q's length.
bool dsaSign(EVP_PKEY* key, const BYTE* hash, DWORD hashLength, DWORD half, PBYTE output)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    Bytes der(length);
    const unsigned char* read = der.data();
    DSA_SIG* signature =
        ctx && EVP_PKEY_sign_init(ctx.get()) > 0 && EVP_PKEY_sign(ctx.get(), der.data(), &length, hash, hashLength) > 0
            ? d2i_DSA_SIG(nullptr, &read, static_cast<long>(length))
            : nullptr;
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    if (signature != nullptr) {
        DSA_SIG_get0(signature, &r, &s);
    }
    const bool ok = signature != nullptr && BN_bn2binpad(r, output, static_cast<int>(half)) > 0 &&
                    BN_bn2binpad(s, output + half, static_cast<int>(half)) > 0;
    DSA_SIG_free(signature);
    ERR_clear_error();
    return ok;
}

// CNG's DSA signature takes no padding and a hash as long as q (SHA-1 for a
// 1024-bit key).
SECURITY_STATUS dsaSignHash(const NcryptObject& key, DWORD padding, const BYTE* hash, DWORD hashLength, PBYTE output,
                            DWORD capacity, DWORD* result)
{
    if (padding != 0) {
        return NTE_BAD_FLAGS;
    }
    const DWORD half = dsaHalfBytes(key.key.get());
    if (half == 0 || hashLength != half) {
        return NTE_INVALID_PARAMETER;
    }
    *result = 2 * half;
    if (output == nullptr) {
        return ERROR_SUCCESS;
    }
    if (capacity < 2 * half) {
        return NTE_BUFFER_TOO_SMALL;
    }
    if (LONG refused = refusalOf(key)) {
        return refused;
    }
    return dsaSign(key.key.get(), hash, hashLength, half, output) ? ERROR_SUCCESS : NTE_FAIL;
}

const EVP_MD* digestNamed(LPCWSTR name)
{
    if (name == nullptr) {
        return nullptr;
    }
    const std::string text = wideToUtf8(name);
    if (text == "SHA1") {
        return EVP_sha1();
    }
    if (text == "MD5") {
        return EVP_md5();
    }
    if (text == "SHA256") {
        return EVP_sha256();
    }
    if (text == "SHA384") {
        return EVP_sha384();
    }
    if (text == "SHA512") {
        return EVP_sha512();
    }
    return nullptr;
}

SECURITY_STATUS copyOut(const void* value, DWORD size, PBYTE output, DWORD capacity, DWORD* result)
{
    *result = size;
    if (output == nullptr) {
        return ERROR_SUCCESS;
    }
    if (capacity < size) {
        return NTE_BUFFER_TOO_SMALL;
    }
    std::memcpy(output, value, size);
    return ERROR_SUCCESS;
}

SECURITY_STATUS copyText(const std::string& text, PBYTE output, DWORD capacity, DWORD* result)
{
    std::wstring wide = utf8ToWide(text);
    return copyOut(wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)), output, capacity, result);
}

// The key's RSA operation with PKCS#1 v1.5 padding; false on failure.
bool rsaOperation(EVP_PKEY* key, bool sign, const EVP_MD* md, const BYTE* input, std::size_t inputLength,
                  SecureBytes& output)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    output.assign(length, 0);
    bool ok = ctx && (sign ? EVP_PKEY_sign_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get())) > 0 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) > 0;
    if (ok && sign && md != nullptr) {
        ok = EVP_PKEY_CTX_set_signature_md(ctx.get(), md) > 0;
    }
    // Bad padding must fail, not yield random bytes as newer OpenSSL would.
    if (ok && !sign) {
        EVP_PKEY_CTX_ctrl_str(ctx.get(), "rsa_pkcs1_implicit_rejection", "0");
    }
    ok = ok && (sign ? EVP_PKEY_sign(ctx.get(), output.data(), &length, input, inputLength)
                     : EVP_PKEY_decrypt(ctx.get(), output.data(), &length, input, inputLength)) > 0;
    ERR_clear_error();
    output.resize(ok ? length : 0);
    return ok;
}

bool rsaEncrypt(EVP_PKEY* key, const BYTE* input, std::size_t inputLength, Bytes& output)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    output.assign(length, 0);
    bool ok = ctx && EVP_PKEY_encrypt_init(ctx.get()) > 0 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) > 0 &&
              EVP_PKEY_encrypt(ctx.get(), output.data(), &length, input, inputLength) > 0;
    ERR_clear_error();
    output.resize(ok ? length : 0);
    return ok;
}

DWORD modulusBytes(const NcryptObject& key)
{
    return static_cast<DWORD>(EVP_PKEY_get_size(key.key.get()));
}

} // namespace
} // namespace orv::platform

std::size_t orv::standin::openKeyStorageHandles()
{
    return orv::platform::objects().size();
}

using namespace orv::platform;

extern "C" {

SECURITY_STATUS WINAPI NCryptOpenStorageProvider(NCRYPT_PROV_HANDLE* phProvider, LPCWSTR pszProviderName, DWORD dwFlags)
{
    if (phProvider == nullptr) {
        return NTE_INVALID_PARAMETER;
    }
    *phProvider = 0;
    if (dwFlags != 0) {
        return NTE_BAD_FLAGS;
    }
    const char* name = keyStorageProviderName(pszProviderName ? wideToUtf8(pszProviderName) : "");
    if (name == nullptr) {
        return NTE_BAD_PROVIDER;
    }
    auto object = std::make_shared<NcryptObject>();
    object->provider = name;
    *phProvider = objects().add(std::move(object));
    return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptOpenKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE* phKey, LPCWSTR pszKeyName,
                                     DWORD dwLegacyKeySpec, DWORD dwFlags)
{
    std::shared_ptr<NcryptObject> provider = findProvider(hProvider);
    if (!provider) {
        return NTE_INVALID_HANDLE;
    }
    if (phKey == nullptr || pszKeyName == nullptr || pszKeyName[0] == L'\0') {
        return NTE_INVALID_PARAMETER;
    }
    *phKey = 0;
    if ((dwFlags & ~kOpenKeyFlags) != 0) {
        return NTE_BAD_FLAGS;
    }
    if (dwLegacyKeySpec != 0 && dwLegacyKeySpec != AT_KEYEXCHANGE && dwLegacyKeySpec != AT_SIGNATURE) {
        return NTE_INVALID_PARAMETER;
    }
    const std::string keyName = wideToUtf8(pszKeyName);
    const bool machine = (dwFlags & NCRYPT_MACHINE_KEY_FLAG) != 0;
    KeyStorage storage(provider->provider, machine);
    LONG error = 0;
    PkeyPtr key = storage.loadKey(keyName, dwLegacyKeySpec, error);
    if (key) {
        error = storage.refusal(keyName, KeyStorage::Stage::Open);
    }
    if (error != 0) {
        return error;
    }
    *phKey = addKey(*provider, keyName, machine, sharePkey(std::move(key)));
    return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptImportKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE hImportKey, LPCWSTR pszBlobType,
                                       NCryptBufferDesc* pParameterList, NCRYPT_KEY_HANDLE* phKey, PBYTE pbData,
                                       DWORD cbData, DWORD dwFlags)
{
    std::shared_ptr<NcryptObject> provider = findProvider(hProvider);
    if (!provider) {
        return NTE_INVALID_HANDLE;
    }
    if (phKey == nullptr || pszBlobType == nullptr || pbData == nullptr) {
        return NTE_INVALID_PARAMETER;
    }
    *phKey = 0;
    if ((dwFlags & ~NCRYPT_SILENT_FLAG) != 0) {
        return NTE_BAD_FLAGS;
    }
    // Only a plain private key, kept in memory: no wrapping key, no name.
    if (hImportKey != 0 || pParameterList != nullptr || wideToUtf8(pszBlobType) != "RSAPRIVATEBLOB") {
        return NTE_NOT_SUPPORTED;
    }
    PkeyPtr key;
    if (LONG error = rsaKeyFromBcryptBlob(pbData, cbData, key)) {
        return error;
    }
    *phKey = addKey(*provider, "", false, sharePkey(std::move(key)));
    return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptGetProperty(NCRYPT_HANDLE hObject, LPCWSTR pszProperty, PBYTE pbOutput, DWORD cbOutput,
                                         DWORD* pcbResult, DWORD dwFlags)
{
    std::shared_ptr<NcryptObject> object = objects().find(hObject);
    if (!object) {
        return NTE_INVALID_HANDLE;
    }
    if (pszProperty == nullptr || pcbResult == nullptr) {
        return NTE_INVALID_PARAMETER;
    }
    if ((dwFlags & ~NCRYPT_SILENT_FLAG) != 0) {
        return NTE_BAD_FLAGS;
    }
    if (object->isKey) {
        if (LONG refused = refusalOf(*object, KeyStorage::Stage::Property)) {
            return refused;
        }
    }
    const std::string property = wideToUtf8(pszProperty);
    if (property == "Name") {
        return copyText(object->isKey ? object->keyName : object->provider, pbOutput, cbOutput, pcbResult);
    }
    if (!object->isKey) {
        return NTE_NOT_SUPPORTED;
    }
    if (property == "Algorithm Group" || property == "Algorithm Name") {
        return copyText(isDsa(*object) ? "DSA" : "RSA", pbOutput, cbOutput, pcbResult);
    }
    if (property == "Length") {
        DWORD bits = static_cast<DWORD>(EVP_PKEY_get_bits(object->key.get()));
        return copyOut(&bits, sizeof bits, pbOutput, cbOutput, pcbResult);
    }
    return NTE_NOT_SUPPORTED;
}

SECURITY_STATUS WINAPI NCryptSignHash(NCRYPT_KEY_HANDLE hKey, VOID* pPaddingInfo, PBYTE pbHashValue, DWORD cbHashValue,
                                      PBYTE pbSignature, DWORD cbSignature, DWORD* pcbResult, DWORD dwFlags)
{
    std::shared_ptr<NcryptObject> key = findKey(hKey);
    if (!key) {
        return NTE_INVALID_HANDLE;
    }
    if (pcbResult == nullptr || pbHashValue == nullptr || cbHashValue == 0) {
        return NTE_INVALID_PARAMETER;
    }
    const DWORD padding = dwFlags & ~NCRYPT_SILENT_FLAG;
    if (isDsa(*key)) {
        return dsaSignHash(*key, padding, pbHashValue, cbHashValue, pbSignature, cbSignature, pcbResult);
    }
    if (padding == BCRYPT_PAD_PSS) {
        return NTE_NOT_SUPPORTED;
    }
    if (padding != BCRYPT_PAD_PKCS1) {
        return NTE_BAD_FLAGS;
    }
    if (pPaddingInfo == nullptr) {
        return NTE_INVALID_PARAMETER;
    }
    LPCWSTR algorithm = static_cast<const BCRYPT_PKCS1_PADDING_INFO*>(pPaddingInfo)->pszAlgId;
    const EVP_MD* md = digestNamed(algorithm);
    if (algorithm != nullptr && md == nullptr) {
        return NTE_NOT_SUPPORTED;
    }
    if (md != nullptr && cbHashValue != static_cast<DWORD>(EVP_MD_get_size(md))) {
        return NTE_INVALID_PARAMETER;
    }
    const DWORD length = modulusBytes(*key);
    *pcbResult = length;
    if (pbSignature == nullptr) {
        return ERROR_SUCCESS;
    }
    if (cbSignature < length) {
        return NTE_BUFFER_TOO_SMALL;
    }
    if (LONG refused = refusalOf(*key)) {
        return refused;
    }
    SecureBytes signature;
    if (!rsaOperation(key->key.get(), true, md, pbHashValue, cbHashValue, signature)) {
        return NTE_INVALID_PARAMETER;
    }
    std::memcpy(pbSignature, signature.data(), signature.size());
    *pcbResult = static_cast<DWORD>(signature.size());
    return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptEncrypt(NCRYPT_KEY_HANDLE hKey, PBYTE pbInput, DWORD cbInput, VOID* pPaddingInfo,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult, DWORD dwFlags)
{
    std::shared_ptr<NcryptObject> key = findKey(hKey);
    if (!key) {
        return NTE_INVALID_HANDLE;
    }
    if (pcbResult == nullptr || (pbInput == nullptr && cbInput > 0) || pPaddingInfo != nullptr) {
        return NTE_INVALID_PARAMETER;
    }
    if (isDsa(*key)) {
        return NTE_NOT_SUPPORTED;
    }
    if ((dwFlags & ~NCRYPT_SILENT_FLAG) != NCRYPT_PAD_PKCS1_FLAG) {
        return NTE_BAD_FLAGS;
    }
    const DWORD length = modulusBytes(*key);
    if (cbInput + 11 > length) {
        return NTE_INVALID_PARAMETER;
    }
    *pcbResult = length;
    if (pbOutput == nullptr) {
        return ERROR_SUCCESS;
    }
    if (cbOutput < length) {
        return NTE_BUFFER_TOO_SMALL;
    }
    Bytes cipher;
    if (!rsaEncrypt(key->key.get(), pbInput, cbInput, cipher)) {
        return NTE_FAIL;
    }
    std::memcpy(pbOutput, cipher.data(), cipher.size());
    return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptDecrypt(NCRYPT_KEY_HANDLE hKey, PBYTE pbInput, DWORD cbInput, VOID* pPaddingInfo,
                                     PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult, DWORD dwFlags)
{
    std::shared_ptr<NcryptObject> key = findKey(hKey);
    if (!key) {
        return NTE_INVALID_HANDLE;
    }
    if (pcbResult == nullptr || pbInput == nullptr || pPaddingInfo != nullptr) {
        return NTE_INVALID_PARAMETER;
    }
    if (isDsa(*key)) {
        return NTE_NOT_SUPPORTED;
    }
    if ((dwFlags & ~NCRYPT_SILENT_FLAG) != NCRYPT_PAD_PKCS1_FLAG) {
        return NTE_BAD_FLAGS;
    }
    const DWORD length = modulusBytes(*key);
    if (cbInput != length) {
        return NTE_INVALID_PARAMETER;
    }
    if (pbOutput == nullptr) {
        *pcbResult = length;
        return ERROR_SUCCESS;
    }
    if (LONG refused = refusalOf(*key)) {
        return refused;
    }
    SecureBytes plain;
    if (!rsaOperation(key->key.get(), false, nullptr, pbInput, cbInput, plain)) {
        return NTE_INVALID_PARAMETER;
    }
    *pcbResult = static_cast<DWORD>(plain.size());
    if (cbOutput < plain.size()) {
        return NTE_BUFFER_TOO_SMALL;
    }
    std::memcpy(pbOutput, plain.data(), plain.size());
    return ERROR_SUCCESS;
}

SECURITY_STATUS WINAPI NCryptFreeObject(NCRYPT_HANDLE hObject)
{
    // A key keeps what it needs of its provider, so either may go first.
    if (!objects().remove(hObject)) {
        return NTE_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

} // extern "C"
