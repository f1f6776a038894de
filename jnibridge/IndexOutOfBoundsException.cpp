// The text of an index outside its range: the index and both bounds.
#include "jnibridge/IndexOutOfBoundsException.h"

#include "jnibridge/String.h"

namespace JNIBridge {

static String compose(const String& prefix, int index, int lower, int upper)
{
    String message(prefix);
    message.append("'").append(index).append("' is out of bounds (").append(lower);
    message.append(", ").append(upper).append(")");
    return message;
}

IndexOutOfBoundsException::IndexOutOfBoundsException(const String& prefix, int index, int lower, int upper)
    : Exception(compose(prefix, index, lower, upper))
{
}

IndexOutOfBoundsException::IndexOutOfBoundsException(const char* prefix, int index, int lower, int upper)
    : Exception(compose(String(prefix), index, lower, upper))
{
}

} // namespace JNIBridge
