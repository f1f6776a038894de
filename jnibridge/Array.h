// Counted, copy-on-write element buffer shared by copies until one of them
// writes. The last holder wipes the elements before the buffer goes.
#ifndef ORV_JNIBRIDGE_ARRAY_H
#define ORV_JNIBRIDGE_ARRAY_H

#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/SecureWipe.h"
#include "jnibridge/SmartPointer.h"

#include <cstdint>
#include <cstring>

namespace JNIBridge {

template <typename T>
class Array {
public:
    explicit Array(bool terminated) : terminated_(terminated) { adopt(allocate(0), 0); }

    Array(const T* source, unsigned int begin, unsigned int end, bool terminated) : terminated_(terminated)
    {
        const unsigned int n = (source == nullptr || end < begin) ? 0 : end - begin;
        T* buffer = allocate(n);
        if (n > 0) {
            std::memcpy(buffer, source + begin, n * sizeof(T));
        }
        adopt(buffer, n);
    }

    Array(unsigned int n, bool terminated) : terminated_(terminated) { adopt(allocate(n), n); }

    // n elements left unset, for a caller that overwrites every one at once
    // (a copy out of Java): zeroing them first would be a wasted pass.
    struct Unfilled {};
    Array(unsigned int n, bool terminated, Unfilled) : terminated_(terminated)
    {
        const std::size_t slots = static_cast<std::size_t>(n) + (terminated ? 1 : 0);
        T* buffer = new T[slots == 0 ? 1 : slots];
        if (terminated) {
            buffer[n] = 0;
        }
        adopt(buffer, n);
    }

    Array(const Array& other) = default;

    Array& operator=(const Array& other)
    {
        if (this != &other) {
            wipeIfLastHolder();
            storage_ = other.storage_;
            length_ = other.length_;
            terminated_ = other.terminated_;
        }
        return *this;
    }

    virtual ~Array() { wipeIfLastHolder(); }

    unsigned int length() const noexcept { return length_; }

    const T* data() const noexcept { return storage_.get(); }

    // Writable access always goes through detach, so no other copy sees the write.
    T* data()
    {
        detach();
        return storage_.get();
    }

    void detach()
    {
        if (storage_.useCount() <= 1) {
            return;
        }
        T* buffer = allocate(length_);
        std::memcpy(buffer, storage_.get(), length_ * sizeof(T));
        storage_ = SmartPointer<T>(buffer, &freeBuffer);
    }

    T& operator[](unsigned int index)
    {
        checkIndex(index);
        detach();
        return storage_.get()[index];
    }

    T operator[](unsigned int index) const
    {
        checkIndex(index);
        return storage_.get()[index];
    }

protected:
    // Builds a new buffer of length_ + extra elements holding the current ones,
    // for the appending subclasses to fill; the caller then calls replace().
    // Both allocations happen before anything is copied, so a failure leaves
    // this array as it was and no copy of its contents behind.
    SmartPointer<T> grow(unsigned int extra) const
    {
        SmartPointer<T> buffer(allocate(length_ + extra), &freeBuffer);
        std::memcpy(buffer.get(), storage_.get(), length_ * sizeof(T));
        return buffer;
    }

    // Installs a buffer built by grow(). The old contents are wiped when this
    // array was their last holder: a PIN must not survive an append.
    void replace(const SmartPointer<T>& buffer, unsigned int newLength) noexcept
    {
        wipeIfLastHolder();
        storage_ = buffer;
        length_ = newLength;
        if (terminated_) {
            storage_.get()[newLength] = 0;
        }
    }

private:
    T* allocate(unsigned int n) const
    {
        const std::size_t slots = static_cast<std::size_t>(n) + (terminated_ ? 1 : 0);
        return new T[slots == 0 ? 1 : slots]();
    }

    void adopt(T* buffer, unsigned int n)
    {
        storage_ = SmartPointer<T>(buffer, &freeBuffer);
        length_ = n;
    }

    static void freeBuffer(T* buffer) { delete[] buffer; }

    void wipeIfLastHolder() noexcept
    {
        if (storage_.useCount() == 1 && storage_.get() != nullptr) {
            secureWipe(storage_.get(), static_cast<std::size_t>(length_) * sizeof(T));
        }
    }

    void checkIndex(unsigned int index) const
    {
        if (index >= length_) {
            throw IndexOutOfBoundsException("Array<T>::operator[](unsigned int) - index ", static_cast<int>(index), 0,
                                            static_cast<int>(length_) - 1);
        }
    }

    SmartPointer<T> storage_;
    std::uint32_t length_ = 0;
    bool terminated_ = false;
};

} // namespace JNIBridge

#endif
