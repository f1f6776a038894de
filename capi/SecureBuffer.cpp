// Buffers for key material, wiped before their memory goes back.
#include "capi/SecureBuffer.h"

#include "jnibridge/SecureWipe.h"

#include <cstring>
#include <new>
#include <utility>

namespace CAPIBridge {

SecureBuffer::SecureBuffer(std::uint32_t length) noexcept
{
    allocate(length);
}

SecureBuffer::SecureBuffer(const void* bytes, std::uint32_t length) noexcept
{
    assign(bytes, length);
}

SecureBuffer::~SecureBuffer()
{
    release();
}

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), length_(std::exchange(other.length_, 0))
{
}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

bool SecureBuffer::allocate(std::uint32_t length) noexcept
{
    release();
    if (length == 0) {
        return false;
    }
    data_ = new (std::nothrow) unsigned char[length]();
    length_ = data_ != nullptr ? length : 0;
    return data_ != nullptr;
}

bool SecureBuffer::assign(const void* bytes, std::uint32_t length) noexcept
{
    if (!allocate(length)) {
        return false;
    }
    std::memcpy(data_, bytes, length);
    return true;
}

bool SecureBuffer::shrinkTo(std::uint32_t length) noexcept
{
    if (length >= length_) {
        return !empty();
    }
    SecureBuffer head(data_, length);
    *this = std::move(head);
    return !empty();
}

void SecureBuffer::release() noexcept
{
    JNIBridge::secureWipe(data_, length_);
    delete[] data_;
    data_ = nullptr;
    length_ = 0;
}

} // namespace CAPIBridge
