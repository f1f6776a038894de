// The stand-in's cryptographic service providers, their algorithm lists and their key containers on disk.
#include "tests/standin/Providers.h"

#include "tests/standin/StateRoot.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <sys/stat.h>

#include <cerrno>

namespace orv::platform {
namespace {

// A container's `cancel` file names the CryptSignHashA call that cancels.
const char kCancelFile[] = "cancel";
const char kCancelAtSizeQuery[] = "size query";
const char kCancelAtSignature[] = "signature";

std::vector<AlgorithmInfo> rsaAlgorithms(DWORD symmetricBits, DWORD rsaBits, bool enhanced, bool aes)
{
    std::vector<AlgorithmInfo> list = {
        {CALG_RC2, symmetricBits, "RC2"}, {CALG_RC4, symmetricBits, "RC4"}, {CALG_DES, 56, "DES"}};
    if (enhanced) {
        list.push_back({CALG_3DES_112, 112, "3DES TWO KEY"});
        list.push_back({CALG_3DES, 168, "3DES"});
    }
    if (aes) {
        list.push_back({CALG_SHA_256, 256, "SHA-256"});
        list.push_back({CALG_SHA_384, 384, "SHA-384"});
        list.push_back({CALG_SHA_512, 512, "SHA-512"});
        list.push_back({CALG_AES_128, 128, "AES 128"});
        list.push_back({CALG_AES_192, 192, "AES 192"});
        list.push_back({CALG_AES_256, 256, "AES 256"});
    }
    list.insert(list.end(), {{CALG_SHA1, 160, "SHA-1"},
                             {CALG_MD2, 128, "MD2"},
                             {CALG_MD4, 128, "MD4"},
                             {CALG_MD5, 128, "MD5"},
                             {CALG_SSL3_SHAMD5, 288, "SSL3 SHAMD5"},
                             {CALG_MAC, 0, "MAC"},
                             {CALG_RSA_SIGN, rsaBits, "RSA_SIGN"},
                             {CALG_RSA_KEYX, rsaBits, "RSA_KEYX"},
                             {CALG_HMAC, 0, "HMAC"}});
    return list;
}

} // namespace

bool ProviderInfo::lists(ALG_ID id) const
{
    for (const AlgorithmInfo& algorithm : algorithms) {
        if (algorithm.id == id) {
            return true;
        }
    }
    return false;
}

const std::vector<ProviderInfo>& providers()
{
    static const std::vector<ProviderInfo> kTable = {
        {MS_DEF_PROV_A, PROV_RSA_FULL, 512, "containers", rsaAlgorithms(40, 512, false, false)},
        {MS_ENHANCED_PROV_A, PROV_RSA_FULL, 1024, "containers", rsaAlgorithms(128, 1024, true, false)},
        {MS_STRONG_PROV_A, PROV_RSA_FULL, 1024, "containers", rsaAlgorithms(128, 1024, true, false)},
        {MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, 1024, "containers", rsaAlgorithms(128, 1024, true, true)},
        {MS_DEF_DSS_PROV_A,
         PROV_DSS,
         0,
         "dss-containers",
         {{CALG_SHA1, 160, "SHA-1"}, {CALG_MD5, 128, "MD5"}, {CALG_DSS_SIGN, 1024, "DSA_SIGN"}}},
    };
    return kTable;
}

const ProviderInfo* providerByName(const std::string& name)
{
    // Provider names are registry key names on Windows: case does not matter.
    for (const ProviderInfo& provider : providers()) {
        if (equalsIgnoreCase(provider.name, name)) {
            return &provider;
        }
    }
    return nullptr;
}

const ProviderInfo* defaultProvider(DWORD type)
{
    const char* name = type == PROV_RSA_FULL  ? MS_DEF_PROV_A
                       : type == PROV_RSA_AES ? MS_ENH_RSA_AES_PROV_A
                       : type == PROV_DSS     ? MS_DEF_DSS_PROV_A
                                              : nullptr;
    return name ? providerByName(name) : nullptr;
}

const char* keyFileName(DWORD keySpec)
{
    return keySpec == AT_SIGNATURE ? "sig.pem" : "keyx.pem";
}

std::string ContainerStore::path(const std::string& container) const
{
    return stateDir(provider_.containerDir, false) + "/" + encodeName(container);
}

bool ContainerStore::exists(const std::string& container) const
{
    return isDirectory(path(container));
}

bool ContainerStore::create(const std::string& container, LONG& error) const
{
    if (stateDir(provider_.containerDir, true).empty()) {
        error = NTE_FAIL;
        return false;
    }
    // mkdir decides atomically, also between processes, who creates it.
    if (mkdir(path(container).c_str(), 0700) != 0) {
        error = errno == EEXIST ? NTE_EXISTS : NTE_FAIL;
        return false;
    }
    return true;
}

bool ContainerStore::remove(const std::string& container) const
{
    return removeTree(path(container));
}

std::vector<std::string> ContainerStore::names() const
{
    std::vector<std::string> result;
    std::string dir = stateDir(provider_.containerDir, false);
    for (const std::string& entry : listDir(dir)) {
        if (isDirectory(dir + "/" + entry)) {
            result.push_back(decodeName(entry));
        }
    }
    return result;
}

PkeyPtr ContainerStore::loadKey(const std::string& container, DWORD keySpec, LONG& error) const
{
    return readKeyFile(path(container) + "/" + keyFileName(keySpec), error);
}

bool ContainerStore::storeKey(const std::string& container, DWORD keySpec, EVP_PKEY* key) const
{
    return writeKeyFile(path(container) + "/" + keyFileName(keySpec), key);
}

standin::CancelSigning ContainerStore::signingCancel(const std::string& container) const
{
    Bytes text;
    if (!readFile(path(container) + "/" + kCancelFile, text)) {
        return standin::CancelSigning::Never;
    }
    const std::string stage(text.begin(), text.end());
    return stage == kCancelAtSizeQuery   ? standin::CancelSigning::AtSizeQuery
           : stage == kCancelAtSignature ? standin::CancelSigning::AtSignature
                                         : standin::CancelSigning::Never;
}

bool ContainerStore::setSigningCancel(const std::string& container, standin::CancelSigning at) const
{
    if (!exists(container)) {
        return false;
    }
    const std::string file = path(container) + "/" + kCancelFile;
    if (at == standin::CancelSigning::Never) {
        return removeFile(file);
    }
    const std::string stage = at == standin::CancelSigning::AtSizeQuery ? kCancelAtSizeQuery : kCancelAtSignature;
    return writeFileAtomic(file, reinterpret_cast<const BYTE*>(stage.data()), stage.size(), 0600);
}

PkeyPtr readKeyFile(const std::string& file, LONG& error, bool dsaToo)
{
    error = 0;
    if (!pathExists(file)) {
        return nullptr;
    }
    SecureBytes pem;
    if (!readFileSecure(file, pem) || pem.empty()) {
        error = NTE_BAD_KEY;
        return nullptr;
    }
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    PkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    const int type = key ? EVP_PKEY_get_base_id(key.get()) : EVP_PKEY_NONE;
    if (type != EVP_PKEY_RSA && !(dsaToo && type == EVP_PKEY_DSA)) {
        error = NTE_BAD_KEY;
        return nullptr;
    }
    return key;
}

bool writeKeyFile(const std::string& file, EVP_PKEY* key)
{
    // A secure-heap BIO is wiped when freed, so the PEM text leaves no copy.
    BioPtr bio(BIO_new(BIO_s_secmem()));
    if (!bio || PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        ERR_clear_error();
        return false;
    }
    char* data = nullptr;
    long size = BIO_get_mem_data(bio.get(), &data);
    if (size <= 0 || data == nullptr) {
        return false;
    }
    return writeFileAtomic(file, reinterpret_cast<const BYTE*>(data), static_cast<std::size_t>(size), 0600);
}

} // namespace orv::platform

namespace orv::standin {

bool cancelSigning(const std::string& container, CancelSigning at)
{
    const platform::ProviderInfo* rsa = platform::defaultProvider(PROV_RSA_FULL);
    return rsa != nullptr && platform::ContainerStore(*rsa).setSigningCancel(container, at);
}

} // namespace orv::standin
