// Natives of orvane/clapi/crypto/CapiToken: convert the Java arguments, call
// the ORVcapi member, convert the answer back.
#include "capi/CapiTokenNatives.h"

#include "capi/CAPIBridge.h"
#include "capi/CapiNativeGuard.h"
#include "capi/ORVcapi.h"
#include "capi/ResultCodes.h"
#include "jnibridge/ArrayElements.h"
#include "jnibridge/LocalRef.h"
#include "jnibridge/NativeEnv.h"
#include "jnibridge/NativeMethodTable.h"
#include "capi/CapiTokenTable.h"

#include <cstring>

using namespace CAPIBridge;
using JNIBridge::ByteArrayElements;
using JNIBridge::LocalRef;

namespace {

const JavaExceptionRoute kUnwrapRoute = {"java/io/InterruptedIOException", "java/security/KeyStoreException",
                                         "An unexpected error occured in CAPIbridge.nativeUnwrapSecretKey()"};
const JavaExceptionRoute kSeedRoute = {"java/io/IOException", "java/io/IOException",
                                       "An unexpected error occured in CAPIbridge.nativeGenerateSeed()"};

// Copies one certificate into a new Java byte[] and hands it to list.add.
jlong addToJavaList(JNIEnv* env, jobject list, jmethodID add, const SecureBuffer& certificate)
{
    const auto length = static_cast<jsize>(certificate.length());
    LocalRef<jbyteArray> array(env, JNIBridge::newByteArray(env, length));
    if (!array) {
        return ResultCode::kListNewByteArray;
    }
    {
        ByteArrayElements elements(env, array.get());
        if (!elements) {
            return ResultCode::kListByteArrayElements;
        }
        std::memcpy(elements.get(), certificate.data(), certificate.length());
    }
    // The caller learns of a throwing add from the code; left pending, the
    // exception would hide the code from Java altogether.
    if (!JNIBridge::callBooleanMethodClearing(env, list, add, array.get())) {
        return ResultCode::kListAddThrew;
    }
    return ResultCode::kSuccess;
}

jlong copySignature(JNIEnv* env, jbyteArray output, jsize outputLength, const SecureBuffer& signature)
{
    if (signature.length() != static_cast<std::uint32_t>(outputLength)) {
        return ResultCode::kWrapSignatureLengthMismatch;
    }
    ByteArrayElements elements(env, output);
    if (!elements) {
        return ResultCode::kWrapSignatureElements;
    }
    std::memcpy(elements.get(), signature.data(), signature.length());
    return ResultCode::kSuccess;
}

// The direct buffer's memory and its whole capacity; position and limit are not consulted.
void seedDirectBuffer(JNIEnv* env, jobject buffer)
{
    if (buffer == nullptr) {
        throw Common::Exception("CAPIbridge::nativeGenerateSeed() the ByteBuffer is null.", 0);
    }
    const JNIBridge::DirectBuffer direct = JNIBridge::directBuffer(env, buffer);
    if (JNIBridge::exceptionPending(env)) {
        return;
    }
    const jlong capacity = direct.capacity;
    if (direct.address == nullptr || capacity < 0) {
        throw Common::Exception("CAPIbridge::nativeGenerateSeed() the ByteBuffer is not a direct buffer.", 0);
    }
    if (static_cast<unsigned long long>(capacity) > 0xFFFFFFFFull) {
        throw Common::Exception("CAPIbridge::nativeGenerateSeed() the ByteBuffer is larger than 4 GiB.", 0);
    }
    ORVcapi().generateSeed(static_cast<unsigned char*>(direct.address), static_cast<DWORD>(capacity));
}

} // namespace

// ORVcapi has no state, so each call uses an instance of its own rather than
// dereferencing the attach state's pointer, which DllMain may not have set.

// CapiToken.nativeIsCspAvailable(String providerName, String providerType, boolean[] available): long
// (Ljava/lang/String;Ljava/lang/String;[Z)J
// names: modified UTF-8 copies; available[0]: the answer; returns 0 or a result code
jlong JNICALL nativeIsCspAvailable(JNIEnv* env, jobject, jstring providerName, jstring providerTypeName,
                                   jbooleanArray available)
{
    return resultCodeNative([&]() -> jlong {
        SecureBuffer name;
        convertString(env, providerName, name, ResultCode::kCspProviderNameEmpty, ResultCode::kCspNameCopy);
        SecureBuffer typeName;
        convertString(env, providerTypeName, typeName, ResultCode::kCspTypeNameEmpty, ResultCode::kCspNameCopy);
        bool isAvailable = false;
        const int rc = ORVcapi().isCspAvailable(name.c_str(), typeName.c_str(), isAvailable);
        if (rc != ResultCode::kSuccess) {
            return rc;
        }
        return writeBooleanResult(env, available, isAvailable, ResultCode::kCspAnswerEmpty,
                                  ResultCode::kCspAnswerUnavailable);
    });
}

// CapiToken.nativeIsCertificateInStore(byte[] certificate, String storeName, boolean[] found): long
// ([BLjava/lang/String;[Z)J
// certificate: its encoding; found[0]: the answer; returns 0 or a result code
jlong JNICALL nativeIsCertificateInStore(JNIEnv* env, jobject, jbyteArray certificate, jstring storeName,
                                         jbooleanArray found)
{
    return resultCodeNative([&]() -> jlong {
        SecureBuffer encoded;
        convertByteArray(env, certificate, encoded, ResultCode::kInStoreCertificateEmpty,
                         ResultCode::kInStoreCertificateCopy);
        SecureBuffer store;
        convertString(env, storeName, store, ResultCode::kInStoreStoreNameEmpty, ResultCode::kInStoreStoreNameCopy);
        bool isFound = false;
        const int rc = ORVcapi().isCertificateInStore(encoded, store.c_str(), isFound);
        if (rc != ResultCode::kSuccess) {
            return rc;
        }
        return writeBooleanResult(env, found, isFound, ResultCode::kInStoreAnswerEmpty,
                                  ResultCode::kInStoreAnswerUnavailable);
    });
}

// CapiToken.nativeWrapDigest(byte[] digest, int hashType, byte[] certificate, String storeName,
//                           byte[] signature, int keySpec): long
// ([BI[BLjava/lang/String;[BI)J
// hashType: 1 SHA-1, 2 MD5; signature: filled, its length must match; returns 0 or a result code
jlong JNICALL nativeWrapDigest(JNIEnv* env, jobject, jbyteArray digest, jint hashType, jbyteArray certificate,
                               jstring storeName, jbyteArray signature, jint keySpec)
{
    return resultCodeNative([&]() -> jlong {
        SecureBuffer digestBytes;
        convertByteArray(env, digest, digestBytes, ResultCode::kWrapDigestEmpty, ResultCode::kWrapDigestCopy);
        SecureBuffer encoded;
        convertByteArray(env, certificate, encoded, ResultCode::kWrapCertificateEmpty,
                         ResultCode::kWrapCertificateCopy);
        SecureBuffer store;
        convertString(env, storeName, store, ResultCode::kWrapStoreNameEmpty, ResultCode::kWrapStoreNameCopy);
        if (hashType < 0) {
            return ResultCode::kWrapHashTypeNegative;
        }
        const jsize outputLength = JNIBridge::arrayLength(env, signature);
        if (outputLength < 1) {
            return ResultCode::kWrapSignatureArrayEmpty;
        }
        SecureBuffer produced;
        const int rc = ORVcapi().wrapDigest(digestBytes, static_cast<int>(hashType), encoded, store.c_str(), produced,
                                            static_cast<int>(keySpec));
        if (rc != ResultCode::kSuccess) {
            return rc;
        }
        return copySignature(env, signature, outputLength, produced);
    });
}

// CapiToken.nativeGetCertificates(String storeName, LinkedList<byte[]> certificates): long
// (Ljava/lang/String;Ljava/util/LinkedList;)J
// certificates: each encoding added; returns 0 or a result code
jlong JNICALL nativeGetCertificates(JNIEnv* env, jobject, jstring storeName, jobject list)
{
    return resultCodeNative([&]() -> jlong {
        SecureBuffer store;
        convertString(env, storeName, store, ResultCode::kListStoreNameEmpty, ResultCode::kListStoreNameCopy);
        if (list == nullptr) {
            return ResultCode::kListNull;
        }
        LocalRef<jclass> listClass(env, JNIBridge::objectClass(env, list));
        if (!listClass) {
            return ResultCode::kListNull;
        }
        // Looked up on the object's own class, so an override of add is the one called.
        const jmethodID add = JNIBridge::methodId(env, listClass.get(), "add", "(Ljava/lang/Object;)Z");
        if (add == nullptr) {
            return ResultCode::kListNoAddMethod;
        }
        std::unique_ptr<CertificateList> certificates;
        const int rc = ORVcapi().getCertificates(store.c_str(), certificates);
        if (rc != ResultCode::kSuccess) {
            return rc;
        }
        for (const SecureBuffer& certificate : *certificates) {
            const jlong added = addToJavaList(env, list, add, certificate);
            if (added != ResultCode::kSuccess) {
                return added;
            }
        }
        return ResultCode::kSuccess;
    });
}

// CapiToken.nativeUnwrapSecretKey(byte[] wrappedKey, byte[] certificate, String storeName): byte[]
// ([B[BLjava/lang/String;)[B
// returns the key; failures raise KeyStoreException or InterruptedIOException
jbyteArray JNICALL nativeUnwrapSecretKey(JNIEnv* env, jobject, jbyteArray wrappedKey, jbyteArray certificate,
                                         jstring storeName)
{
    jbyteArray result = nullptr;
    raisingNative(env, kUnwrapRoute, [&] {
        SecureBuffer wrapped;
        convertByteArray(env, wrappedKey, wrapped, ResultCode::kUnwrapWrappedKeyEmpty,
                         ResultCode::kUnwrapWrappedKeyCopy);
        SecureBuffer encoded;
        convertByteArray(env, certificate, encoded, ResultCode::kUnwrapCertificateEmpty,
                         ResultCode::kUnwrapCertificateCopy);
        SecureBuffer store;
        convertString(env, storeName, store, ResultCode::kUnwrapStoreNameEmpty, ResultCode::kUnwrapStoreNameCopy);
        SecureBuffer plainKey;
        ORVcapi().unwrapSessionKey(wrapped, encoded, store.c_str(), plainKey);
        if (plainKey.length() < 1) {
            throw Common::Exception("CAPIbridge::unwrapSessionKey() unwrapped key length is invalid.",
                                    ResultCode::kUnwrapKeyLengthInvalid);
        }
        const auto length = static_cast<jsize>(plainKey.length());
        // Null leaves the VM's OutOfMemoryError pending.
        result = JNIBridge::newByteArray(env, plainKey.data(), length);
    });
    return result;
}

// CapiToken.nativeGenerateSeed(ByteBuffer buffer): void
// (Ljava/nio/ByteBuffer;)V
// buffer: a direct buffer, filled over its whole capacity; failures raise IOException
void JNICALL nativeGenerateSeed(JNIEnv* env, jobject, jobject buffer)
{
    raisingNative(env, kSeedRoute, [&] { seedDirectBuffer(env, buffer); });
}

namespace {

const JNIBridge::NativeMethodRow rows[] = {ORV_CAPI_TOKEN_NATIVES(ORV_REGISTRATION_ROW)};

} // namespace

const JNIBridge::NativeClassRows capiTokenNatives = {ORV_CAPI_TOKEN_CLASS, rows, sizeof rows / sizeof rows[0]};
