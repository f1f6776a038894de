// Root of the JNI frame's exception family; owns a copy of its message.
#ifndef ORV_JNIBRIDGE_EXCEPTION_H
#define ORV_JNIBRIDGE_EXCEPTION_H

namespace JNIBridge {

class String;

class Exception {
public:
    explicit Exception(const String& message);
    explicit Exception(const char* message);
    Exception(const Exception& other);
    Exception& operator=(const Exception&) = delete;
    virtual ~Exception();

    const String& getMessage() const noexcept { return *message_; }

private:
    String* message_;
};

} // namespace JNIBridge

#endif
