// The JNI frame's root exception, which keeps a copy of its message of its own.
#include "jnibridge/Exception.h"

#include "jnibridge/String.h"

namespace JNIBridge {

// The message gets a buffer of its own, so it stays intact whatever happens to
// the String it was made from.
static String* ownCopy(const char* text, unsigned int length)
{
    return new String(text, 0, length);
}

Exception::Exception(const String& message) : message_(ownCopy(message.data(), message.length()))
{
}

Exception::Exception(const char* message) : message_(new String(message))
{
}

Exception::Exception(const Exception& other) : message_(ownCopy(other.message_->data(), other.message_->length()))
{
}

Exception::~Exception()
{
    delete message_;
}

} // namespace JNIBridge
