// Exceptions of the CryptoAPI and registry bridges: a ready-made description
// and a signed 32-bit error code.
#ifndef ORV_COMMON_EXCEPTION_H
#define ORV_COMMON_EXCEPTION_H

#include <cstdint>

namespace Common {

class Exception {
public:
    Exception(const char* message, std::int32_t errorCode);
    explicit Exception(const char* message);
    Exception(const Exception& other);
    Exception& operator=(const Exception&) = delete;
    virtual ~Exception();

    // "<message>. Error code HEX: 0x<hex>. Error code dec: <dec>.\n"
    const char* getDescription() const noexcept { return description_; }
    std::int32_t getErrorCode() const noexcept { return errorCode_; }

private:
    char* description_;
    std::int32_t errorCode_;
};

class NoMoreElementsException : public Exception {
public:
    using Exception::Exception;
};

class IllegalArguementException : public Exception {
public:
    using Exception::Exception;
};

class RegistryAccessException : public Exception {
public:
    using Exception::Exception;
};

class UserCancelledException : public Exception {
public:
    using Exception::Exception;
};

} // namespace Common

#endif
