// Digests and random numbers computed by the token in the slot's session.
#include "pkcs11bridge/PKCS11Slot.h"

#include "pkcs11bridge/LengthLimit.h"
#include "pkcs11bridge/PKCS11Exception.h"

#include <climits>
#include <new>

using JNIBridge::ByteArray;
using JNIBridge::String;

namespace PKCS11Bridge {

namespace {

// Room for digests up to SHA-1's; longer ones are refused by the token.
constexpr CK_ULONG kDigestBufferSize = 20;

CK_BYTE_PTR bytesOf(const ByteArray& bytes)
{
    return reinterpret_cast<CK_BYTE_PTR>(const_cast<char*>(bytes.data()));
}

// The seed as the message shows it: its bytes as text, up to the first zero
// byte and never past its length.
String seedText(const ByteArray& seed)
{
    unsigned int n = 0;
    while (n < seed.length() && seed.data()[n] != 0) {
        ++n;
    }
    return String(seed.data(), 0, n);
}

// The failure texts of generateRandom: the context, what failed, the length
// and a closing text. Built only on failure; after a failed allocation a text
// this short still fits, as the request that failed was far larger.
String randomFailure(const char* what, unsigned int length, const char* closing)
{
    return String("PKCS11Slot::generateRandom(unsigned int) - ")
        .append(what)
        .append(static_cast<int>(length))
        .append(closing);
}

} // namespace

void PKCS11Slot::digestInit(unsigned long mechanismType)
{
    requireSession("PKCS11Slot::digestInit(unsigned int) - A session has not been opened !");
    CK_MECHANISM mechanism = {mechanismType, NULL_PTR, 0};
    CK_RV rv = functionList_->C_DigestInit(sessionId_, &mechanism);
    if (rv != CKR_OK) {
        throwSessionCallFailure(String("PKCS11Slot::digestInit(unsigned long) - Failed on call to C_DigestInit(")
                                    .append(messageNumber(mechanismType))
                                    .append(")"),
                                rv);
    }
}

void PKCS11Slot::digestUpdate(const ByteArray& data)
{
    requireSession("PKCS11Slot::digestUpdate(const ByteArray&) - A session has not been opened !");
    CK_RV rv = functionList_->C_DigestUpdate(sessionId_, bytesOf(data), data.length());
    if (rv != CKR_OK) {
        throwSessionCallFailure("PKCS11Slot::digestUpdate(const ByteArray&) - Failed on call to C_DigestUpdate()", rv);
    }
}

ByteArray PKCS11Slot::digestFinal()
{
    requireSession("PKCS11Slot::digestFinal() - A session has not been opened !");
    ByteArray digest(static_cast<unsigned int>(kDigestBufferSize));
    CK_ULONG length = kDigestBufferSize;
    CK_RV rv = functionList_->C_DigestFinal(sessionId_, reinterpret_cast<CK_BYTE_PTR>(digest.data()), &length);
    if (rv != CKR_OK) {
        throwSessionCallFailure("PKCS11Slot::digestFinal() - Failed on call to C_DigestFinal()", rv);
    }
    // A module claiming more than the buffer holds is refused by the range check.
    const int reported = length > static_cast<CK_ULONG>(INT_MAX) ? INT_MAX : static_cast<int>(length);
    return digest.subBytes(0, reported);
}

void PKCS11Slot::seedRandom(const ByteArray& seed)
{
    requireSession("PKCS11Slot::seedRandom(const ByteArray&) - A session has not been opened !");
    CK_RV rv = functionList_->C_SeedRandom(sessionId_, bytesOf(seed), seed.length());
    if (rv != CKR_OK) {
        throwSessionCallFailure(String("PKCS11Slot::seedRandom(const ByteArray&) - Failed on call to C_SeedRandom(")
                                    .append(seedText(seed))
                                    .append(", ")
                                    .append(messageNumber(seed.length()))
                                    .append(")"),
                                rv);
    }
}

// The length is checked and the buffer allocated before anything reaches the
// token, so a length Java cannot mean (negative), or one beyond what the
// bridge will allocate, fails at once without a module call.
ByteArray PKCS11Slot::generateRandom(unsigned int length)
{
    if (length > static_cast<unsigned int>(INT_MAX)) {
        throw PKCS11Exception(randomFailure("Invalid length '", length, "'"));
    }
    if (!LengthLimit::allows(length)) {
        throw PKCS11Exception(randomFailure("Unable to allocate '", length, "' bytes"));
    }
    ByteArray random;
    try {
        random = ByteArray(length);
    } catch (const std::bad_alloc&) {
        throw PKCS11Exception(randomFailure("Unable to allocate '", length, "' bytes"));
    }
    requireSession("PKCS11Slot::generateRandom(unsigned int) - ", "A session has not been opened !");
    CK_RV rv = functionList_->C_GenerateRandom(sessionId_, reinterpret_cast<CK_BYTE_PTR>(random.data()), length);
    if (rv != CKR_OK) {
        throwSessionCallFailure(randomFailure("Failed on call to C_GenerateRandom(", length, ")"), rv);
    }
    return random;
}

} // namespace PKCS11Bridge
