// A byte buffer for key material: zero-filled when allocated, wiped before it
// is freed. A failed or zero-sized allocation leaves it empty, which callers
// test for instead of catching.
#ifndef ORV_CAPI_SECUREBUFFER_H
#define ORV_CAPI_SECUREBUFFER_H

#include <cstdint>

namespace CAPIBridge {

class SecureBuffer {
public:
    SecureBuffer() noexcept = default;
    explicit SecureBuffer(std::uint32_t length) noexcept;
    SecureBuffer(const void* bytes, std::uint32_t length) noexcept;
    ~SecureBuffer();

    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;
    SecureBuffer(SecureBuffer&& other) noexcept;
    SecureBuffer& operator=(SecureBuffer&& other) noexcept;

    // Both release the old contents first; false when the buffer ends up empty.
    bool allocate(std::uint32_t length) noexcept;
    bool assign(const void* bytes, std::uint32_t length) noexcept;
    // Keeps the first `length` bytes in a buffer of exactly that size.
    bool shrinkTo(std::uint32_t length) noexcept;
    void release() noexcept;

    unsigned char* data() noexcept { return data_; }
    const unsigned char* data() const noexcept { return data_; }
    std::uint32_t length() const noexcept { return length_; }
    bool empty() const noexcept { return data_ == nullptr; }
    const char* c_str() const noexcept { return reinterpret_cast<const char*>(data_); }

private:
    unsigned char* data_ = nullptr;
    std::uint32_t length_ = 0;
};

} // namespace CAPIBridge

#endif
