// Signing a digest and unwrapping a session key with a stored certificate's
// private key, and random seed bytes.
#include "capi/ORVcapi.h"

#include "capi/LastError.h"
#include "capi/ProviderManager.h"
#include "capi/ResultCodes.h"
#include "common/Exception.h"
#include "common/Win32CallLog.h"

#include <algorithm>
#include <new>

namespace CAPIBridge {

namespace {

struct HashChoice {
    int hashType;
    ALG_ID algorithm;
    DWORD digestLength;
};

const HashChoice kHashChoices[] = {
    {1, CALG_SHA1, 20},
    {2, CALG_MD5, 16},
};

const HashChoice* findHash(int hashType)
{
    for (const HashChoice& choice : kHashChoices) {
        if (choice.hashType == hashType) {
            return &choice;
        }
    }
    return nullptr;
}

void noteAlgorithm(ALG_ID id, ProviderAlgorithms& algorithms)
{
    switch (id) {
    case CALG_SHA1:
        algorithms.sha1 = true;
        break;
    case CALG_MD5:
        algorithms.md5 = true;
        break;
    case CALG_RSA_SIGN:
        algorithms.rsaSign = true;
        break;
    case CALG_RSA_KEYX:
        algorithms.rsaKeyExchange = true;
        break;
    case CALG_DSS_SIGN:
        algorithms.dssSign = true;
        break;
    default:
        break;
    }
}

// Key spec 1 asks for a DSS signature over SHA-1, key spec 2 for an RSA
// signature over either hash.
int checkAlgorithms(const ProviderAlgorithms& algorithms, int keySpec, ALG_ID hash)
{
    if (keySpec == AT_KEYEXCHANGE) {
        if (!algorithms.dssSign) {
            return ResultCode::kWrapNoSignatureAlgorithm;
        }
        if (hash != CALG_SHA1) {
            return ResultCode::kWrapBadKeySpec;
        }
        return algorithms.sha1 ? ResultCode::kSuccess : ResultCode::kWrapNoSha1;
    }
    if (!algorithms.rsaSign) {
        return ResultCode::kWrapNoSignatureAlgorithm;
    }
    if (hash == CALG_SHA1) {
        return algorithms.sha1 ? ResultCode::kSuccess : ResultCode::kWrapNoSha1;
    }
    return algorithms.md5 ? ResultCode::kSuccess : ResultCode::kWrapNoMd5;
}

int signFailure(LastError::Cancellation kind)
{
    const DWORD error = GetLastError();
    return LastError::isCancellation(error, kind) ? ResultCode::kUserCancelled : LastError::code(error);
}

// The signature in the byte order CryptSignHashA produces.
int signHash(HCRYPTHASH hash, DWORD keySpec, SecureBuffer& signature)
{
    DWORD length = 0;
    if (!Common::Win32CallLog::call("CryptSignHashA", CryptSignHashA(hash, keySpec, nullptr, 0, nullptr, &length))) {
        return signFailure(LastError::Cancellation::KeyUse);
    }
    if (length < 1) {
        return ResultCode::kWrapSignatureLengthQuery;
    }
    if (!signature.allocate(length)) {
        return ResultCode::kWrapSignatureAlloc;
    }
    if (!Common::Win32CallLog::call("CryptSignHashA",
                                    CryptSignHashA(hash, keySpec, nullptr, 0, signature.data(), &length))) {
        return signFailure(LastError::Cancellation::SignatureOutput);
    }
    if (length < 1) {
        return ResultCode::kWrapSignatureProduced;
    }
    if (length < signature.length() && !signature.shrinkTo(length)) {
        return ResultCode::kWrapSignatureAlloc;
    }
    return ResultCode::kSuccess;
}

void throwKeyFailure(DWORD error, const char* cancelledMessage, const char* failedMessage)
{
    const auto code = static_cast<std::int32_t>(error);
    if (LastError::isCancellation(error, LastError::Cancellation::KeyUse)) {
        throw Common::UserCancelledException(cancelledMessage, code);
    }
    throw Common::Exception(failedMessage, code);
}

// Opening the key takes the place of acquiring the provider and getting the
// key: a missing key fails as an acquire does, a cancel as a refused key.
void openKeyStorageKey(const CertificateKey& entry, CngPrivateKey& key)
{
    const auto error = static_cast<DWORD>(key.open(entry.info()));
    if (error == ERROR_SUCCESS) {
        return;
    }
    if (LastError::isUserCancel(error)) {
        throw Common::UserCancelledException("ORVcapi::getPrivateKey() User cancelled during CryptGetUserKey().",
                                             static_cast<std::int32_t>(error));
    }
    throw Common::Exception("ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().",
                            LastError::code(error));
}

} // namespace

int ORVcapi::getProviderAlgorithms(HCRYPTPROV provider, ProviderAlgorithms& algorithms)
{
    algorithms = ProviderAlgorithms();
    PROV_ENUMALGS entry{};
    DWORD length = sizeof entry;
    if (!Common::Win32CallLog::call(
            "CryptGetProvParam",
            CryptGetProvParam(provider, PP_ENUMALGS, reinterpret_cast<BYTE*>(&entry), &length, CRYPT_FIRST))) {
        return LastError::code();
    }
    do {
        noteAlgorithm(entry.aiAlgid, algorithms);
        length = sizeof entry;
    } while (Common::Win32CallLog::call(
        "CryptGetProvParam", CryptGetProvParam(provider, PP_ENUMALGS, reinterpret_cast<BYTE*>(&entry), &length, 0)));

    const DWORD error = GetLastError();
    if (error == ERROR_NO_MORE_ITEMS) {
        return ResultCode::kSuccess;
    }
    algorithms = ProviderAlgorithms();
    return LastError::code(error);
}

int ORVcapi::wrapDigest(const SecureBuffer& digest, int hashType, const SecureBuffer& encodedCertificate,
                        const char* storeName, SecureBuffer& signature, int keySpec)
{
    signature.release();
    const HashChoice* hash = findHash(hashType);
    if (hash == nullptr) {
        return ResultCode::kWrapUnknownHashType;
    }
    if (digest.length() != hash->digestLength) {
        return ResultCode::kWrapDigestLengthMismatch;
    }
    if (keySpec != AT_KEYEXCHANGE && keySpec != AT_SIGNATURE) {
        return ResultCode::kWrapBadKeySpec;
    }

    CryptProvider provider;
    CertContext certificate;
    bool mustRelease = false;
    DWORD certificateKeySpec = 0;
    CertificateKey keyStorage;
    int rc = getKeyFromCertificate(encodedCertificate, storeName, provider, certificate, mustRelease,
                                   certificateKeySpec, keyStorage);
    if (rc == ResultCode::kSuccess && keyStorage.certificate) {
        return wrapDigestWithKeyStorage(digest, hash->algorithm, keySpec, keyStorage, signature);
    }
    if (!provider) {
        if (rc == ResultCode::kCertificateNotInStore) {
            return ResultCode::kWrapNoCertificateInStore;
        }
        return rc == ResultCode::kSuccess ? ResultCode::kNoErrorReported : rc;
    }
    // A provider is only ever handed over together with the must-release flag.
    (void)mustRelease;

    ProviderAlgorithms algorithms;
    rc = getProviderAlgorithms(provider.get(), algorithms);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    rc = checkAlgorithms(algorithms, keySpec, hash->algorithm);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }

    HCRYPTHASH created = 0;
    if (!Common::Win32CallLog::call("CryptCreateHash",
                                    CryptCreateHash(provider.get(), hash->algorithm, 0, 0, &created))) {
        return LastError::code();
    }
    CryptHash hashObject(created);
    if (!Common::Win32CallLog::call("CryptSetHashParam",
                                    CryptSetHashParam(hashObject.get(), HP_HASHVAL, digest.data(), 0))) {
        return LastError::code();
    }
    // The key the certificate names signs, whatever key spec the caller asked about.
    rc = signHash(hashObject.get(), certificateKeySpec, signature);
    if (rc != ResultCode::kSuccess) {
        signature.release();
        return rc;
    }

    // Releases in order; the first failure is the result, the rest still run.
    int releaseError = ResultCode::kSuccess;
    auto note = [&releaseError](BOOL released) {
        if (!released && releaseError == ResultCode::kSuccess) {
            releaseError = LastError::code();
        }
    };
    note(hashObject.close());
    note(certificate.close());
    note(provider.close());
    if (releaseError != ResultCode::kSuccess) {
        signature.release();
    }
    return releaseError;
}

int ORVcapi::wrapDigestWithKeyStorage(const SecureBuffer& digest, ALG_ID hashAlgorithm, int keySpec,
                                      CertificateKey& entry, SecureBuffer& signature)
{
    CngPrivateKey key;
    const SECURITY_STATUS opened = key.open(entry.info());
    if (opened != ERROR_SUCCESS) {
        // A missing key stands where a failed CryptAcquireContextA would.
        return LastError::isUserCancel(static_cast<DWORD>(opened)) ? ResultCode::kUserCancelled
                                                                   : LastError::code(static_cast<DWORD>(opened));
    }
    ProviderAlgorithms algorithms;
    int rc = getKeyAlgorithms(key, algorithms);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    rc = checkAlgorithms(algorithms, keySpec, hashAlgorithm);
    if (rc != ResultCode::kSuccess) {
        return rc;
    }
    rc = signDigestWithKey(key, hashAlgorithm, digest, signature);
    if (rc != ResultCode::kSuccess) {
        signature.release();
        return rc;
    }

    // Released as on the CryptoAPI path: the signing object, the certificate,
    // the provider; the first failure is the result, the rest still run.
    int releaseError = ResultCode::kSuccess;
    auto note = [&releaseError](BOOL released) {
        if (!released && releaseError == ResultCode::kSuccess) {
            releaseError = LastError::code();
        }
    };
    note(key.keyHandle().close());
    note(entry.certificate.close());
    note(key.providerHandle().close());
    if (releaseError != ResultCode::kSuccess) {
        signature.release();
    }
    return releaseError;
}

void ORVcapi::getPrivateKey(const SecureBuffer& encodedCertificate, const char* storeName, PrivateKeyHandle& key)
{
    CertContext certificate;
    bool mustRelease = false;
    DWORD keySpec = 0;
    CertificateKey keyStorage;
    const int rc = getKeyFromCertificate(encodedCertificate, storeName, key.provider(), certificate, mustRelease,
                                         keySpec, keyStorage);
    certificate.reset();
    keyStorage.certificate.reset();
    if (rc != ResultCode::kSuccess) {
        throw Common::Exception("ORVcapi::getPrivateKey() a problem occured while calling getCspFromCertificate().",
                                rc);
    }
    if (!keyStorage.infoBytes.empty()) {
        openKeyStorageKey(keyStorage, key.keyStorageKey());
        return;
    }
    HCRYPTKEY userKey = 0;
    if (!Common::Win32CallLog::call("CryptGetUserKey", CryptGetUserKey(key.provider().get(), keySpec, &userKey))) {
        throwKeyFailure(GetLastError(), "ORVcapi::getPrivateKey() User cancelled during CryptGetUserKey().",
                        "ORVcapi::getPrivateKey() a problem occured while calling CryptGetUserKey().");
    }
    key.key().reset(userKey);
}

void ORVcapi::unwrapSessionKey(const SecureBuffer& wrappedKey, const SecureBuffer& encodedCertificate,
                               const char* storeName, SecureBuffer& plainKey)
{
    SecureBuffer working(wrappedKey.data(), wrappedKey.length());
    if (working.empty() && !wrappedKey.empty()) {
        throw std::bad_alloc();
    }
    PrivateKeyHandle key;
    getPrivateKey(encodedCertificate, storeName, key);
    if (key.keyStorageKey().isOpen()) {
        // CNG takes the wrapped key big-endian, as Java gives it.
        decryptWithKey(key.keyStorageKey(), working, plainKey);
        return;
    }

    // Java hands the wrapped key big-endian; CryptDecrypt wants it little-endian.
    std::reverse(working.data(), working.data() + working.length());
    DWORD length = working.length();
    if (!Common::Win32CallLog::call("CryptDecrypt",
                                    CryptDecrypt(key.key().get(), 0, TRUE, 0, working.data(), &length))) {
        throwKeyFailure(GetLastError(), "ORVcapi::unwrapSessionKey() User cancelled during CryptDecrypt().",
                        "ORVcapi::unwrapSessionKey() A problem occured while calling CryptDecrypt().");
    }
    const std::uint32_t plainLength = std::min<std::uint32_t>(length, working.length());
    if (plainLength == 0) {
        plainKey.release();
        return;
    }
    if (!plainKey.assign(working.data(), plainLength)) {
        throw std::bad_alloc();
    }
}

void ORVcapi::generateSeed(unsigned char* address, DWORD length)
{
    ProviderManager provider("ORV_RANDOM");
    if (!Common::Win32CallLog::call("CryptGenRandom", CryptGenRandom(provider.getHandle(), length, address))) {
        throw Common::Exception("ORVcapi::generateSeed() Could not get random bytes from CAPI.", 0);
    }
}

} // namespace CAPIBridge
