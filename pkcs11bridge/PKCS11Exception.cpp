// The standard names of PKCS#11 return values and the texts of PKCS11Exception.
#include "pkcs11bridge/PKCS11Exception.h"

#include <algorithm>
#include <iterator>

namespace PKCS11Bridge {

namespace {

struct ReturnValueName {
    CK_RV code;
    const char* name;
};

#define ORV_CKR(name)                                                                                                  \
    {                                                                                                                  \
        name, #name                                                                                                    \
    }

// Sorted by value, so a lookup is a binary search.
const ReturnValueName kReturnValueNames[] = {
    ORV_CKR(CKR_OK),
    ORV_CKR(CKR_CANCEL),
    ORV_CKR(CKR_HOST_MEMORY),
    ORV_CKR(CKR_SLOT_ID_INVALID),
    ORV_CKR(CKR_GENERAL_ERROR),
    ORV_CKR(CKR_FUNCTION_FAILED),
    ORV_CKR(CKR_ARGUMENTS_BAD),
    ORV_CKR(CKR_NO_EVENT),
    ORV_CKR(CKR_NEED_TO_CREATE_THREADS),
    ORV_CKR(CKR_CANT_LOCK),
    ORV_CKR(CKR_ATTRIBUTE_READ_ONLY),
    ORV_CKR(CKR_ATTRIBUTE_SENSITIVE),
    ORV_CKR(CKR_ATTRIBUTE_TYPE_INVALID),
    ORV_CKR(CKR_ATTRIBUTE_VALUE_INVALID),
    ORV_CKR(CKR_DATA_INVALID),
    ORV_CKR(CKR_DATA_LEN_RANGE),
    ORV_CKR(CKR_DEVICE_ERROR),
    ORV_CKR(CKR_DEVICE_MEMORY),
    ORV_CKR(CKR_DEVICE_REMOVED),
    ORV_CKR(CKR_ENCRYPTED_DATA_INVALID),
    ORV_CKR(CKR_ENCRYPTED_DATA_LEN_RANGE),
    ORV_CKR(CKR_FUNCTION_CANCELED),
    ORV_CKR(CKR_FUNCTION_NOT_PARALLEL),
    ORV_CKR(CKR_FUNCTION_NOT_SUPPORTED),
    ORV_CKR(CKR_KEY_HANDLE_INVALID),
    ORV_CKR(CKR_KEY_SIZE_RANGE),
    ORV_CKR(CKR_KEY_TYPE_INCONSISTENT),
    ORV_CKR(CKR_KEY_NOT_NEEDED),
    ORV_CKR(CKR_KEY_CHANGED),
    ORV_CKR(CKR_KEY_NEEDED),
    ORV_CKR(CKR_KEY_INDIGESTIBLE),
    ORV_CKR(CKR_KEY_FUNCTION_NOT_PERMITTED),
    ORV_CKR(CKR_KEY_NOT_WRAPPABLE),
    ORV_CKR(CKR_KEY_UNEXTRACTABLE),
    ORV_CKR(CKR_MECHANISM_INVALID),
    ORV_CKR(CKR_MECHANISM_PARAM_INVALID),
    ORV_CKR(CKR_OBJECT_HANDLE_INVALID),
    ORV_CKR(CKR_OPERATION_ACTIVE),
    ORV_CKR(CKR_OPERATION_NOT_INITIALIZED),
    ORV_CKR(CKR_PIN_INCORRECT),
    ORV_CKR(CKR_PIN_INVALID),
    ORV_CKR(CKR_PIN_LEN_RANGE),
    ORV_CKR(CKR_PIN_EXPIRED),
    ORV_CKR(CKR_PIN_LOCKED),
    ORV_CKR(CKR_SESSION_CLOSED),
    ORV_CKR(CKR_SESSION_COUNT),
    ORV_CKR(CKR_SESSION_HANDLE_INVALID),
    ORV_CKR(CKR_SESSION_PARALLEL_NOT_SUPPORTED),
    ORV_CKR(CKR_SESSION_READ_ONLY),
    ORV_CKR(CKR_SESSION_EXISTS),
    ORV_CKR(CKR_SESSION_READ_ONLY_EXISTS),
    ORV_CKR(CKR_SESSION_READ_WRITE_SO_EXISTS),
    ORV_CKR(CKR_SIGNATURE_INVALID),
    ORV_CKR(CKR_SIGNATURE_LEN_RANGE),
    ORV_CKR(CKR_TEMPLATE_INCOMPLETE),
    ORV_CKR(CKR_TEMPLATE_INCONSISTENT),
    ORV_CKR(CKR_TOKEN_NOT_PRESENT),
    ORV_CKR(CKR_TOKEN_NOT_RECOGNIZED),
    ORV_CKR(CKR_TOKEN_WRITE_PROTECTED),
    ORV_CKR(CKR_UNWRAPPING_KEY_HANDLE_INVALID),
    ORV_CKR(CKR_UNWRAPPING_KEY_SIZE_RANGE),
    ORV_CKR(CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT),
    ORV_CKR(CKR_USER_ALREADY_LOGGED_IN),
    ORV_CKR(CKR_USER_NOT_LOGGED_IN),
    ORV_CKR(CKR_USER_PIN_NOT_INITIALIZED),
    ORV_CKR(CKR_USER_TYPE_INVALID),
    ORV_CKR(CKR_USER_ANOTHER_ALREADY_LOGGED_IN),
    ORV_CKR(CKR_USER_TOO_MANY_TYPES),
    ORV_CKR(CKR_WRAPPED_KEY_INVALID),
    ORV_CKR(CKR_WRAPPED_KEY_LEN_RANGE),
    ORV_CKR(CKR_WRAPPING_KEY_HANDLE_INVALID),
    ORV_CKR(CKR_WRAPPING_KEY_SIZE_RANGE),
    ORV_CKR(CKR_WRAPPING_KEY_TYPE_INCONSISTENT),
    ORV_CKR(CKR_RANDOM_SEED_NOT_SUPPORTED),
    ORV_CKR(CKR_RANDOM_NO_RNG),
    ORV_CKR(CKR_BUFFER_TOO_SMALL),
    ORV_CKR(CKR_SAVED_STATE_INVALID),
    ORV_CKR(CKR_INFORMATION_SENSITIVE),
    ORV_CKR(CKR_STATE_UNSAVEABLE),
    ORV_CKR(CKR_CRYPTOKI_NOT_INITIALIZED),
    ORV_CKR(CKR_CRYPTOKI_ALREADY_INITIALIZED),
    ORV_CKR(CKR_MUTEX_BAD),
    ORV_CKR(CKR_MUTEX_NOT_LOCKED),
};

#undef ORV_CKR

static_assert(std::size(kReturnValueNames) == 83, "one row per named return value");

const char* const kUnknownReturnValue = "Unknown PKCS11 Error";

JNIBridge::String compose(const JNIBridge::String& message, CK_RV returnValue)
{
    JNIBridge::String text(message);
    return text.append(" - ").append(getReturnValueName(returnValue));
}

} // namespace

JNIBridge::String getReturnValueName(CK_RV code)
{
    const auto* end = std::end(kReturnValueNames);
    const auto* row = std::lower_bound(std::begin(kReturnValueNames), end, code,
                                       [](const ReturnValueName& r, CK_RV c) { return r.code < c; });
    return JNIBridge::String(row != end && row->code == code ? row->name : kUnknownReturnValue);
}

PKCS11Exception::PKCS11Exception(const JNIBridge::String& message, CK_RV returnValue)
    : JNIBridge::Exception(compose(message, returnValue)), returnValue_(returnValue)
{
}

PKCS11Exception::PKCS11Exception(const JNIBridge::String& message) : JNIBridge::Exception(message), returnValue_(0)
{
}

} // namespace PKCS11Bridge
