// The texts failures carry: the Common family's description format and the
// PKCS#11 exception's composition with the return value's name, together
// with the index message of the JNI frame. Each text is composed here
// independently and compared byte for byte; a difference aborts.
#include "FuzzCheck.h"

#include "common/Exception.h"
#include "jnibridge/Exception.h"
#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/String.h"
#include "pkcs11bridge/PKCS11Exception.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

using JNIBridge::String;
using PKCS11Bridge::PKCS11Exception;

namespace {

// Texts may hold any byte; escaped, a difference can be read.
std::string printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

[[noreturn]] void mismatch(const std::string& what, const std::string& got, const std::string& expected)
{
    std::fprintf(stderr, "text mismatch: %s\n got:      '%s'\n expected: '%s'\n", what.c_str(), printable(got).c_str(),
                 printable(expected).c_str());
    std::abort();
}

void expectText(const char* what, const std::string& got, const std::string& expected)
{
    if (got != expected) {
        mismatch(what, got, expected);
    }
}

// The names PKCS#11 gives its return values; every other value is unknown.
struct Named {
    unsigned long code;
    const char* name;
};
const Named standardNames[] = {
    {0x0, "CKR_OK"},
    {0x1, "CKR_CANCEL"},
    {0x2, "CKR_HOST_MEMORY"},
    {0x3, "CKR_SLOT_ID_INVALID"},
    {0x5, "CKR_GENERAL_ERROR"},
    {0x6, "CKR_FUNCTION_FAILED"},
    {0x7, "CKR_ARGUMENTS_BAD"},
    {0x8, "CKR_NO_EVENT"},
    {0x9, "CKR_NEED_TO_CREATE_THREADS"},
    {0xA, "CKR_CANT_LOCK"},
    {0x10, "CKR_ATTRIBUTE_READ_ONLY"},
    {0x11, "CKR_ATTRIBUTE_SENSITIVE"},
    {0x12, "CKR_ATTRIBUTE_TYPE_INVALID"},
    {0x13, "CKR_ATTRIBUTE_VALUE_INVALID"},
    {0x20, "CKR_DATA_INVALID"},
    {0x21, "CKR_DATA_LEN_RANGE"},
    {0x30, "CKR_DEVICE_ERROR"},
    {0x31, "CKR_DEVICE_MEMORY"},
    {0x32, "CKR_DEVICE_REMOVED"},
    {0x40, "CKR_ENCRYPTED_DATA_INVALID"},
    {0x41, "CKR_ENCRYPTED_DATA_LEN_RANGE"},
    {0x50, "CKR_FUNCTION_CANCELED"},
    {0x51, "CKR_FUNCTION_NOT_PARALLEL"},
    {0x54, "CKR_FUNCTION_NOT_SUPPORTED"},
    {0x60, "CKR_KEY_HANDLE_INVALID"},
    {0x62, "CKR_KEY_SIZE_RANGE"},
    {0x63, "CKR_KEY_TYPE_INCONSISTENT"},
    {0x64, "CKR_KEY_NOT_NEEDED"},
    {0x65, "CKR_KEY_CHANGED"},
    {0x66, "CKR_KEY_NEEDED"},
    {0x67, "CKR_KEY_INDIGESTIBLE"},
    {0x68, "CKR_KEY_FUNCTION_NOT_PERMITTED"},
    {0x69, "CKR_KEY_NOT_WRAPPABLE"},
    {0x6A, "CKR_KEY_UNEXTRACTABLE"},
    {0x70, "CKR_MECHANISM_INVALID"},
    {0x71, "CKR_MECHANISM_PARAM_INVALID"},
    {0x82, "CKR_OBJECT_HANDLE_INVALID"},
    {0x90, "CKR_OPERATION_ACTIVE"},
    {0x91, "CKR_OPERATION_NOT_INITIALIZED"},
    {0xA0, "CKR_PIN_INCORRECT"},
    {0xA1, "CKR_PIN_INVALID"},
    {0xA2, "CKR_PIN_LEN_RANGE"},
    {0xA3, "CKR_PIN_EXPIRED"},
    {0xA4, "CKR_PIN_LOCKED"},
    {0xB0, "CKR_SESSION_CLOSED"},
    {0xB1, "CKR_SESSION_COUNT"},
    {0xB3, "CKR_SESSION_HANDLE_INVALID"},
    {0xB4, "CKR_SESSION_PARALLEL_NOT_SUPPORTED"},
    {0xB5, "CKR_SESSION_READ_ONLY"},
    {0xB6, "CKR_SESSION_EXISTS"},
    {0xB7, "CKR_SESSION_READ_ONLY_EXISTS"},
    {0xB8, "CKR_SESSION_READ_WRITE_SO_EXISTS"},
    {0xC0, "CKR_SIGNATURE_INVALID"},
    {0xC1, "CKR_SIGNATURE_LEN_RANGE"},
    {0xD0, "CKR_TEMPLATE_INCOMPLETE"},
    {0xD1, "CKR_TEMPLATE_INCONSISTENT"},
    {0xE0, "CKR_TOKEN_NOT_PRESENT"},
    {0xE1, "CKR_TOKEN_NOT_RECOGNIZED"},
    {0xE2, "CKR_TOKEN_WRITE_PROTECTED"},
    {0xF0, "CKR_UNWRAPPING_KEY_HANDLE_INVALID"},
    {0xF1, "CKR_UNWRAPPING_KEY_SIZE_RANGE"},
    {0xF2, "CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT"},
    {0x100, "CKR_USER_ALREADY_LOGGED_IN"},
    {0x101, "CKR_USER_NOT_LOGGED_IN"},
    {0x102, "CKR_USER_PIN_NOT_INITIALIZED"},
    {0x103, "CKR_USER_TYPE_INVALID"},
    {0x104, "CKR_USER_ANOTHER_ALREADY_LOGGED_IN"},
    {0x105, "CKR_USER_TOO_MANY_TYPES"},
    {0x110, "CKR_WRAPPED_KEY_INVALID"},
    {0x112, "CKR_WRAPPED_KEY_LEN_RANGE"},
    {0x113, "CKR_WRAPPING_KEY_HANDLE_INVALID"},
    {0x114, "CKR_WRAPPING_KEY_SIZE_RANGE"},
    {0x115, "CKR_WRAPPING_KEY_TYPE_INCONSISTENT"},
    {0x120, "CKR_RANDOM_SEED_NOT_SUPPORTED"},
    {0x121, "CKR_RANDOM_NO_RNG"},
    {0x150, "CKR_BUFFER_TOO_SMALL"},
    {0x160, "CKR_SAVED_STATE_INVALID"},
    {0x170, "CKR_INFORMATION_SENSITIVE"},
    {0x180, "CKR_STATE_UNSAVEABLE"},
    {0x190, "CKR_CRYPTOKI_NOT_INITIALIZED"},
    {0x191, "CKR_CRYPTOKI_ALREADY_INITIALIZED"},
    {0x1A0, "CKR_MUTEX_BAD"},
    {0x1A1, "CKR_MUTEX_NOT_LOCKED"},
};

std::string expectedName(unsigned long code)
{
    const auto found = std::find_if(std::begin(standardNames), std::end(standardNames),
                                    [code](const Named& n) { return n.code == code; });
    return found != std::end(standardNames) ? found->name : "Unknown PKCS11 Error";
}

unsigned long returnValue(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
        return standardNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(standardNames) - 1)].code;
    case 1:
        // Next to a named value, where a table lookup goes wrong first.
        return standardNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(standardNames) - 1)].code +
               (in.ConsumeBool() ? 1 : -1);
    case 2:
        return in.ConsumeIntegral<std::uint32_t>();
    case 3:
        // Above 32 bits a value must not wrap onto a named one.
        return (static_cast<unsigned long>(in.ConsumeIntegralInRange<unsigned>(1, 0xFFFF)) << 32) |
               standardNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(standardNames) - 1)].code;
    default:
        return in.ConsumeIntegral<unsigned long>();
    }
}

// "<message>. Error code HEX: 0x<upper hex>. Error code dec: <signed>.\n"
std::string expectedDescription(const char* message, std::int32_t code)
{
    std::ostringstream out;
    out << (message != nullptr ? message : "Invalid description parameter. See Exception.") << ". Error code HEX: 0x"
        << std::hex << std::uppercase << static_cast<std::uint32_t>(code) << ". Error code dec: " << std::dec << code
        << ".\n";
    return out.str();
}

template <typename Kind>
void checkCommonKind(const char* message, std::int32_t code, bool withCode)
{
    const std::string expected = expectedDescription(message, withCode ? code : 0);
    std::unique_ptr<Common::Exception> copy;
    try {
        throw withCode ? Kind(message, code) : Kind(message);
    } catch (const Kind& e) {
        expectText("Common description", e.getDescription(), expected);
        if (e.getErrorCode() != (withCode ? code : 0)) {
            mismatch("Common error code", std::to_string(e.getErrorCode()), std::to_string(code));
        }
        copy.reset(new Kind(e));
    }
    // The copy owns its text: the thrown exception is gone by now.
    expectText("Common description of a copy", copy->getDescription(), expected);
}

void checkCommon(FuzzedDataProvider& in)
{
    const bool null = in.ConsumeIntegralInRange<int>(0, 7) == 0;
    const std::string text = in.ConsumeRandomLengthString(512);
    const char* message = null ? nullptr : text.c_str();
    const auto code = in.ConsumeIntegral<std::int32_t>();
    const bool withCode = in.ConsumeBool();
    static void (*const kinds[])(const char*, std::int32_t, bool) = {
        checkCommonKind<Common::Exception>, checkCommonKind<Common::NoMoreElementsException>,
        checkCommonKind<Common::IllegalArguementException>, checkCommonKind<Common::RegistryAccessException>,
        checkCommonKind<Common::UserCancelledException>};
    kinds[in.ConsumeIntegralInRange<int>(0, 4)](message, code, withCode);
}

// Messages are bytes: a NUL inside one is kept, as the String holds it.
void checkPKCS11(FuzzedDataProvider& in)
{
    const std::string bytes = in.ConsumeRandomLengthString(512);
    const String message(bytes.data(), 0, static_cast<unsigned int>(bytes.size()));
    const bool withCode = in.ConsumeBool();
    const unsigned long code = returnValue(in);
    const std::string expected = withCode ? bytes + " - " + expectedName(code) : bytes;
    std::unique_ptr<PKCS11Exception> copy;
    try {
        throw withCode ? PKCS11Exception(message, code) : PKCS11Exception(message);
    } catch (const JNIBridge::Exception& caught) {
        const auto* e = dynamic_cast<const PKCS11Exception*>(&caught);
        if (e == nullptr) {
            mismatch("PKCS11Exception caught as another type", "", "");
        }
        expectText("PKCS11Exception text", bytesOf(e->getMessage()), expected);
        if (e->getReturnValue() != (withCode ? code : 0)) {
            mismatch("PKCS11Exception return value", std::to_string(e->getReturnValue()), std::to_string(code));
        }
        copy.reset(new PKCS11Exception(*e));
    }
    expectText("PKCS11Exception text of a copy", bytesOf(copy->getMessage()), expected);
    expectText("caller's message after composing", bytesOf(message), bytes);
    expectText("getReturnValueName", bytesOf(PKCS11Bridge::getReturnValueName(code)), expectedName(code));
}

void checkIndexMessage(FuzzedDataProvider& in)
{
    const std::string prefix = in.ConsumeRandomLengthString(128);
    const int index = in.ConsumeIntegral<int>();
    const int lower = in.ConsumeIntegral<int>();
    const int upper = in.ConsumeIntegral<int>();
    const std::string expected = std::string(prefix.c_str()) + "'" + std::to_string(index) + "' is out of bounds (" +
                                 std::to_string(lower) + ", " + std::to_string(upper) + ")";
    const JNIBridge::IndexOutOfBoundsException fromText(prefix.c_str(), index, lower, upper);
    expectText("index message", bytesOf(fromText.getMessage()), expected);
    const JNIBridge::IndexOutOfBoundsException fromString(String(prefix.c_str()), index, lower, upper);
    expectText("index message from a String", bytesOf(fromString.getMessage()), expected);
}

void checkNumbers(FuzzedDataProvider& in)
{
    // Numbers in messages are signed 32-bit decimals, whatever CK_ULONG's width.
    const unsigned long value = in.ConsumeIntegral<unsigned long>();
    String text("n=");
    text.append(PKCS11Bridge::messageNumber(value));
    expectText("number in a message", bytesOf(text),
               "n=" + std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(value))));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        static void (*const checks[])(FuzzedDataProvider&) = {checkCommon, checkPKCS11, checkIndexMessage,
                                                              checkNumbers};
        checks[in.ConsumeIntegralInRange<int>(0, 3)](in);
    }
    return 0;
}
