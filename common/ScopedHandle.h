// Owns one Win32 handle; Traits says what "empty" is and how to close it.
// take() hands ownership on, close() closes now and reports the result for
// the places where a failed release is itself an error.
#ifndef ORV_COMMON_SCOPEDHANDLE_H
#define ORV_COMMON_SCOPEDHANDLE_H

#include "platform/Win32.h"

namespace Common {

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() noexcept : handle_(Traits::empty()) {}
    explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
    ~ScopedHandle() { reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.take()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other) {
            reset(other.take());
        }
        return *this;
    }

    Handle get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != Traits::empty(); }
    explicit operator bool() const noexcept { return valid(); }

    // For Win32 out-parameters: releases what is held, then lends the slot.
    Handle* receive() noexcept
    {
        reset();
        return &handle_;
    }

    Handle take() noexcept
    {
        Handle handle = handle_;
        handle_ = Traits::empty();
        return handle;
    }

    void reset(Handle handle = Traits::empty()) noexcept
    {
        if (handle_ != Traits::empty()) {
            Traits::close(handle_);
        }
        handle_ = handle;
    }

    // Closing nothing succeeds.
    auto close() noexcept
    {
        using Result = decltype(Traits::close(handle_));
        if (handle_ == Traits::empty()) {
            return Result(TRUE);
        }
        return Traits::close(take());
    }

private:
    Handle handle_;
};

} // namespace Common

#endif
