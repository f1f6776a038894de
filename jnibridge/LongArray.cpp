// Slot ids and object handles, growing one handle at a time.
#include "jnibridge/LongArray.h"

namespace JNIBridge {

LongArray::LongArray() : Array<unsigned long>(false)
{
}

LongArray::LongArray(unsigned int n) : Array<unsigned long>(n, false)
{
}

LongArray::LongArray(const unsigned long* data, unsigned int begin, unsigned int end)
    : Array<unsigned long>(data, begin, end, false)
{
}

LongArray& LongArray::append(unsigned long value)
{
    SmartPointer<unsigned long> buffer = grow(1);
    buffer.get()[length()] = value;
    replace(buffer, length() + 1);
    return *this;
}

} // namespace JNIBridge
