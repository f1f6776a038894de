// PKCS#11 slot ids and object handles in a copy-on-write buffer.
#ifndef ORV_JNIBRIDGE_LONGARRAY_H
#define ORV_JNIBRIDGE_LONGARRAY_H

#include "jnibridge/Array.h"

namespace JNIBridge {

class LongArray : public Array<unsigned long> {
public:
    LongArray();
    explicit LongArray(unsigned int n);
    LongArray(const unsigned long* data, unsigned int begin, unsigned int end);
    LongArray(const LongArray& other) = default;
    LongArray& operator=(const LongArray& other) = default;

    LongArray& append(unsigned long value);
};

} // namespace JNIBridge

#endif
