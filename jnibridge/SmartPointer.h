// Shared ownership of one heap object or buffer, with an optional releaser.
#ifndef ORV_JNIBRIDGE_SMARTPOINTER_H
#define ORV_JNIBRIDGE_SMARTPOINTER_H

#include <atomic>
#include <new>
#include <type_traits>

namespace JNIBridge {

template <typename T>
class SmartPointer {
public:
    using Deleter = void (*)(T*);

    SmartPointer() = default;

    explicit SmartPointer(T* pointer, Deleter deleter = nullptr) : pointer_(pointer), deleter_(deleter)
    {
        try {
            count_ = new std::atomic<int>(1);
        } catch (...) {
            destroy(pointer, deleter);
            throw;
        }
    }

    SmartPointer(const SmartPointer& other) noexcept
        : pointer_(other.pointer_), count_(other.count_), deleter_(other.deleter_)
    {
        if (count_ != nullptr) {
            count_->fetch_add(1);
        }
    }

    SmartPointer& operator=(const SmartPointer& other) noexcept
    {
        if (this != &other) {
            release();
            pointer_ = other.pointer_;
            count_ = other.count_;
            deleter_ = other.deleter_;
            if (count_ != nullptr) {
                count_->fetch_add(1);
            }
        }
        return *this;
    }

    virtual ~SmartPointer() { release(); }

    T* get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    std::add_lvalue_reference_t<T> operator*() const { return *pointer_; }
    bool isNull() const noexcept { return pointer_ == nullptr; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // Number of holders sharing the pointee; 0 for an empty pointer.
    int useCount() const noexcept { return count_ == nullptr ? 0 : count_->load(); }

private:
    static void destroy(T* pointer, Deleter deleter)
    {
        if (deleter != nullptr) {
            deleter(pointer);
        } else if (pointer != nullptr) {
            if constexpr (!std::is_void_v<T>) {
                delete pointer;
            }
        }
    }

    void release() noexcept
    {
        if (count_ == nullptr) {
            return;
        }
        if (count_->fetch_sub(1) == 1) {
            destroy(pointer_, deleter_);
            delete count_;
        }
        pointer_ = nullptr;
        count_ = nullptr;
    }

    T* pointer_ = nullptr;
    std::atomic<int>* count_ = nullptr;
    Deleter deleter_ = nullptr;
};

} // namespace JNIBridge

#endif
