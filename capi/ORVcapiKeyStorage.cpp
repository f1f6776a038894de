// Signing and unwrapping with a certificate's key when a key storage provider
// (CNG) holds it, with the codes, exceptions and byte order of the CryptoAPI
// path, so callers cannot tell which path did the work.
#include "capi/ORVcapi.h"

#include "capi/LastError.h"
#include "capi/ResultCodes.h"
#include "common/Exception.h"
#include "common/Win32CallLog.h"

#include <algorithm>
#include <new>

namespace CAPIBridge {

namespace {

int signFailure(SECURITY_STATUS status)
{
    const auto error = static_cast<DWORD>(status);
    return LastError::isCancellation(error, LastError::Cancellation::KeyStorage) ? ResultCode::kUserCancelled
                                                                                 : LastError::code(error);
}

// Signs with PKCS#1 v1.5 padding naming the hash, or plainly for DSA keys.
class SignatureRequest {
public:
    SignatureRequest(const CngPrivateKey& key, ALG_ID hashAlgorithm)
        : padding_{hashAlgorithm == CALG_MD5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA1_ALGORITHM}, dsa_(key.isDsa())
    {
    }

    SECURITY_STATUS sign(NCRYPT_KEY_HANDLE key, const SecureBuffer& digest, PBYTE output, DWORD capacity, DWORD& length)
    {
        // CNG does not write the hash value; its parameter is merely not const.
        return Common::Win32CallLog::status(
            "NCryptSignHash",
            NcryptFunctions::get().signHash(key, dsa_ ? nullptr : &padding_, const_cast<PBYTE>(digest.data()),
                                            digest.length(), output, capacity, &length, dsa_ ? 0 : BCRYPT_PAD_PKCS1));
    }

private:
    BCRYPT_PKCS1_PADDING_INFO padding_;
    bool dsa_;
};

} // namespace

int ORVcapi::getKeyAlgorithms(CngPrivateKey& key, ProviderAlgorithms& algorithms)
{
    algorithms = ProviderAlgorithms();
    const auto error = static_cast<DWORD>(key.readAlgorithmGroup());
    if (error != ERROR_SUCCESS) {
        return LastError::isUserCancel(error) ? ResultCode::kUserCancelled : LastError::code(error);
    }
    algorithms.sha1 = true;
    algorithms.md5 = true;
    algorithms.rsaSign = key.isRsa();
    algorithms.rsaKeyExchange = key.isRsa();
    algorithms.dssSign = key.isDsa();
    return ResultCode::kSuccess;
}

int ORVcapi::signDigestWithKey(CngPrivateKey& key, ALG_ID hashAlgorithm, const SecureBuffer& digest,
                               SecureBuffer& signature)
{
    signature.release();
    // Any other id would be signed as SHA-1.
    if (hashAlgorithm != CALG_SHA1 && hashAlgorithm != CALG_MD5) {
        return ResultCode::kWrapUnknownHashType;
    }
    SignatureRequest request(key, hashAlgorithm);
    DWORD length = 0;
    SECURITY_STATUS status = request.sign(key.key(), digest, nullptr, 0, length);
    if (status != ERROR_SUCCESS) {
        return signFailure(status);
    }
    if (length < 1) {
        return ResultCode::kWrapSignatureLengthQuery;
    }
    if (!signature.allocate(length)) {
        return ResultCode::kWrapSignatureAlloc;
    }
    status = request.sign(key.key(), digest, signature.data(), signature.length(), length);
    if (status != ERROR_SUCCESS) {
        signature.release();
        return signFailure(status);
    }
    if (length < 1) {
        signature.release();
        return ResultCode::kWrapSignatureProduced;
    }
    if (length < signature.length() && !signature.shrinkTo(length)) {
        return ResultCode::kWrapSignatureAlloc;
    }
    CngPrivateKey::toCryptoApiOrder(signature.data(), signature.length(), key.isDsa());
    return ResultCode::kSuccess;
}

void ORVcapi::decryptWithKey(CngPrivateKey& key, const SecureBuffer& wrappedKey, SecureBuffer& plainKey)
{
    // The plain key is never longer than the wrapped one.
    SecureBuffer output(wrappedKey.length());
    if (output.empty() && !wrappedKey.empty()) {
        throw std::bad_alloc();
    }
    DWORD length = 0;
    const auto error = static_cast<DWORD>(Common::Win32CallLog::status(
        "NCryptDecrypt",
        NcryptFunctions::get().decrypt(key.key(), const_cast<PBYTE>(wrappedKey.data()), wrappedKey.length(), nullptr,
                                       output.data(), output.length(), &length, NCRYPT_PAD_PKCS1_FLAG)));
    if (error != ERROR_SUCCESS) {
        const auto code = static_cast<std::int32_t>(error);
        if (LastError::isCancellation(error, LastError::Cancellation::KeyStorage)) {
            throw Common::UserCancelledException("ORVcapi::unwrapSessionKey() User cancelled during CryptDecrypt().",
                                                 code);
        }
        throw Common::Exception("ORVcapi::unwrapSessionKey() A problem occured while calling CryptDecrypt().", code);
    }
    const std::uint32_t plainLength = std::min<std::uint32_t>(length, output.length());
    if (plainLength == 0) {
        plainKey.release();
        return;
    }
    if (!plainKey.assign(output.data(), plainLength)) {
        throw std::bad_alloc();
    }
}

} // namespace CAPIBridge
