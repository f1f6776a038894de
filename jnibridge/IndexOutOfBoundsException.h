// An index outside the valid range of an array or list.
#ifndef ORV_JNIBRIDGE_INDEXOUTOFBOUNDSEXCEPTION_H
#define ORV_JNIBRIDGE_INDEXOUTOFBOUNDSEXCEPTION_H

#include "jnibridge/Exception.h"

namespace JNIBridge {

class IndexOutOfBoundsException : public Exception {
public:
    // Message: prefix + "'" + index + "' is out of bounds (" + lower + ", " + upper + ")".
    IndexOutOfBoundsException(const String& prefix, int index, int lower, int upper);
    IndexOutOfBoundsException(const char* prefix, int index, int lower, int upper);
    IndexOutOfBoundsException(const IndexOutOfBoundsException& other) = default;
};

} // namespace JNIBridge

#endif
