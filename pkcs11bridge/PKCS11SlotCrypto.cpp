// Encryption, decryption, signing, verification and unwrapping with the key
// that shares a certificate's CKA_ID, each one single-part operation.
#include "pkcs11bridge/PKCS11Slot.h"

#include "pkcs11bridge/LengthLimit.h"
#include "pkcs11bridge/PKCS11Exception.h"

#include <algorithm>
#include <climits>

using JNIBridge::ByteArray;
using JNIBridge::SmartPointer;
using JNIBridge::String;

namespace PKCS11Bridge {

// Encrypt, decrypt and sign run the same steps; this is what differs.
struct PKCS11Slot::SinglePartOperation {
    const char* prefix;
    bool withPublicKey;
    const char* keyNotFound;
    CK_C_EncryptInit CK_FUNCTION_LIST::*init;
    CK_C_Encrypt CK_FUNCTION_LIST::*run;
    const char* initName;
    const char* runName;
    // Decryption output may be shorter than the size query promised (padding).
    bool shortenToFinalLength;
};

namespace {

const char* const kNoSession = "A session has not been opened !";
const char* const kPublicKeyNotFound = "The PublicKey for the supplied Certificate cannot be found";
const char* const kPrivateKeyNotFound = "The PrivateKey for the supplied Certificate cannot be found";

// Longest output accepted from a size query; more is a module's mistake.
constexpr CK_ULONG kLongestOutput = LengthLimit::kLongest;

CK_BYTE_PTR bytesOf(const ByteArray& bytes)
{
    return reinterpret_cast<CK_BYTE_PTR>(const_cast<char*>(bytes.data()));
}

template <typename Key>
CK_OBJECT_HANDLE handleOf(const SmartPointer<Key>& key)
{
    return key ? key->getHandle() : CK_INVALID_HANDLE;
}

String failedCall(const char* prefix, const char* call, const char* function, const char* arguments)
{
    return String(prefix).append(call).append(function).append(arguments);
}

} // namespace

ByteArray PKCS11Slot::runSinglePart(const SinglePartOperation& operation, const Certificate& certificate,
                                    const ByteArray& input, unsigned long mechanismType)
{
    const char* const first = "Failed on call to ";
    const char* const second = "Failed on second call to ";
    requireSession(operation.prefix, kNoSession);
    const CK_OBJECT_HANDLE key =
        operation.withPublicKey ? handleOf(findPublicKey(certificate)) : handleOf(findPrivateKey(certificate));
    if (key == CK_INVALID_HANDLE) {
        throw PKCS11Exception(String(operation.prefix).append(operation.keyNotFound));
    }
    CK_MECHANISM mechanism = {mechanismType, NULL_PTR, 0};
    CK_RV rv = (functionList_->*operation.init)(sessionId_, &mechanism, key);
    if (rv != CKR_OK) {
        throwSessionCallFailure(failedCall(operation.prefix, first, operation.initName, "()"), rv);
    }
    CK_ULONG length = 0;
    rv = (functionList_->*operation.run)(sessionId_, bytesOf(input), input.length(), NULL_PTR, &length);
    if (rv != CKR_OK) {
        throwSessionCallFailure(failedCall(operation.prefix, first, operation.runName, "(NULL_PTR)"), rv);
    }
    if (length > kLongestOutput) {
        throw PKCS11Exception(failedCall(operation.prefix, first, operation.runName, "(NULL_PTR)")
                                  .append(" - The module reported an unusable length"));
    }
    if (call2ndInit_) {
        rv = (functionList_->*operation.init)(sessionId_, &mechanism, key);
        if (rv != CKR_OK) {
            throwSessionCallFailure(failedCall(operation.prefix, second, operation.initName, "()"), rv);
        }
    }
    ByteArray output(static_cast<unsigned int>(length));
    rv = (functionList_->*operation.run)(sessionId_, bytesOf(input), input.length(),
                                         reinterpret_cast<CK_BYTE_PTR>(output.data()), &length);
    if (rv != CKR_OK) {
        throwSessionCallFailure(failedCall(operation.prefix, second, operation.runName, "()"), rv);
    }
    if (operation.shortenToFinalLength) {
        return output.subBytes(0, static_cast<int>(std::min(length, kLongestOutput)));
    }
    return output;
}

ByteArray PKCS11Slot::encryptData(const Certificate& certificate, const ByteArray& data, unsigned long mechanism)
{
    static const SinglePartOperation kEncrypt = {
        "PKCS11Slot::encryptData(const Certificate&, const ByteArray&, unsigned int) - ",
        true,
        kPublicKeyNotFound,
        &CK_FUNCTION_LIST::C_EncryptInit,
        &CK_FUNCTION_LIST::C_Encrypt,
        "C_EncryptInit",
        "C_Encrypt",
        false};
    return runSinglePart(kEncrypt, certificate, data, mechanism);
}

ByteArray PKCS11Slot::decryptData(const Certificate& certificate, const ByteArray& cipherText, unsigned long mechanism)
{
    static const SinglePartOperation kDecrypt = {
        "PKCS11Slot::decryptData(const Certificate&, const ByteArray&, unsigned int) - ",
        false,
        kPrivateKeyNotFound,
        &CK_FUNCTION_LIST::C_DecryptInit,
        &CK_FUNCTION_LIST::C_Decrypt,
        "C_DecryptInit",
        "C_Decrypt",
        true};
    return runSinglePart(kDecrypt, certificate, cipherText, mechanism);
}

ByteArray PKCS11Slot::signData(const Certificate& certificate, const ByteArray& data, unsigned long mechanism)
{
    static const SinglePartOperation kSign = {
        "PKCS11Slot::signData(const Certificate&, const ByteArray&, unsigned int) - ",
        false,
        kPrivateKeyNotFound,
        &CK_FUNCTION_LIST::C_SignInit,
        &CK_FUNCTION_LIST::C_Sign,
        "C_SignInit",
        "C_Sign",
        false};
    return runSinglePart(kSign, certificate, data, mechanism);
}

// No size query and no second Init: verification produces no output.
bool PKCS11Slot::verifyData(const Certificate& certificate, const ByteArray& data, const ByteArray& signature,
                            unsigned long mechanismType)
{
    const char* const prefix =
        "PKCS11Slot::verifyData(const Certificate&, const ByteArray&, const ByteArray&, unsigned int) - ";
    requireSession(prefix, kNoSession);
    const CK_OBJECT_HANDLE key = handleOf(findPublicKey(certificate));
    if (key == CK_INVALID_HANDLE) {
        throw PKCS11Exception(String(prefix).append(kPublicKeyNotFound));
    }
    CK_MECHANISM mechanism = {mechanismType, NULL_PTR, 0};
    CK_RV rv = functionList_->C_VerifyInit(sessionId_, &mechanism, key);
    if (rv != CKR_OK) {
        throwSessionCallFailure("PKCS11Slot::verifyData(const PublicKey&, const ByteArray&, unsigned int) - Failed on "
                                "call to C_VerifyInit()",
                                rv);
    }
    rv = functionList_->C_Verify(sessionId_, bytesOf(data), data.length(), bytesOf(signature), signature.length());
    if (rv == CKR_SIGNATURE_INVALID) {
        return false;
    }
    if (rv != CKR_OK) {
        throwSessionCallFailure(String(prefix).append("Failed on call to C_Verify()"), rv);
    }
    return true;
}

// The wrapped key is decrypted with the private key and handed back; nothing
// is created on the token.
ByteArray PKCS11Slot::unwrapKey(const Certificate& certificate, const ByteArray& wrappedKey, unsigned long mechanism)
{
    requireSession("PKCS11Slot::unwrapKey(const Certificate&, const ByteArray&, unsigned int) - A session has not "
                   "been opened !");
    return decryptData(certificate, wrappedKey, mechanism);
}

} // namespace PKCS11Bridge
