// Overwrites memory that may have held key material, in a way the optimiser
// may not remove even though the memory is about to be freed.
#ifndef ORV_JNIBRIDGE_SECUREWIPE_H
#define ORV_JNIBRIDGE_SECUREWIPE_H

#include <cstddef>
#include <cstring>

namespace JNIBridge {

inline void secureWipe(void* memory, std::size_t bytes)
{
    if (memory == nullptr) {
        return;
    }
#if defined(__GNUC__)
    // The barrier tells the compiler the zeros are read, so the memset stays;
    // memset itself runs at full width instead of a byte at a time.
    std::memset(memory, 0, bytes);
    __asm__ __volatile__("" : : "r"(memory) : "memory");
#else
    volatile unsigned char* p = static_cast<volatile unsigned char*>(memory);
    for (std::size_t i = 0; i < bytes; ++i) {
        p[i] = 0;
    }
#endif
}

} // namespace JNIBridge

#endif
