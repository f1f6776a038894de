// The description every Common exception carries: message and code, in hexadecimal and decimal.
#include "common/Exception.h"

#include "jnibridge/SecureWipe.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace Common {

namespace {

const char* const kMissingMessage = "Invalid description parameter. See Exception.";

char* copyOf(const char* text)
{
    const std::size_t n = std::strlen(text);
    char* copy = new char[n + 1];
    std::memcpy(copy, text, n + 1);
    return copy;
}

// The scratch buffer may echo key-related text, so it is wiped before release.
char* formatDescription(const char* message, std::int32_t code)
{
    if (message == nullptr) {
        message = kMissingMessage;
    }
    const std::size_t size = std::strlen(message) + 200;
    std::unique_ptr<char[]> scratch(new char[size]());
    std::snprintf(scratch.get(), size, "%s. Error code HEX: 0x%X. Error code dec: %d.\n", message,
                  static_cast<unsigned int>(code), static_cast<int>(code));
    char* description = nullptr;
    try {
        description = copyOf(scratch.get());
    } catch (...) {
        JNIBridge::secureWipe(scratch.get(), size);
        throw;
    }
    JNIBridge::secureWipe(scratch.get(), size);
    return description;
}

} // namespace

Exception::Exception(const char* message, std::int32_t errorCode)
    : description_(formatDescription(message, errorCode)), errorCode_(errorCode)
{
}

Exception::Exception(const char* message) : Exception(message, 0)
{
}

Exception::Exception(const Exception& other) : description_(copyOf(other.description_)), errorCode_(other.errorCode_)
{
}

Exception::~Exception()
{
    delete[] description_;
}

} // namespace Common
