// Owns one Win32 handle and releases it exactly once; Traits says how.
// Traits provide: a `Handle` type, `invalid()` and `close(Handle)`.
#ifndef ORV_REGISTRY_SCOPEDHANDLE_H
#define ORV_REGISTRY_SCOPEDHANDLE_H

namespace Common {

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() noexcept : handle_(Traits::invalid()) {}
    explicit ScopedHandle(Handle handle) noexcept : handle_(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != Traits::invalid(); }

    // For Win32 out-parameters: releases what is held, then lends the slot.
    Handle* receive() noexcept
    {
        reset();
        return &handle_;
    }

    void reset() noexcept
    {
        if (valid()) {
            Traits::close(handle_);
        }
        handle_ = Traits::invalid();
    }

private:
    Handle handle_;
};

} // namespace Common

#endif
