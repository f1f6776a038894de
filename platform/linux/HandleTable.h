// Maps opaque handle values to shared objects. Looking a handle up yields a
// shared_ptr, so an object stays alive while a call uses it even if another
// thread closes the handle meanwhile; unknown or closed handles are refused
// instead of being dereferenced.
#ifndef ORV_PLATFORM_HANDLE_TABLE_H
#define ORV_PLATFORM_HANDLE_TABLE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace orv::platform {

template <typename T>
class HandleTable {
public:
    explicit HandleTable(std::uintptr_t base) : next_(base) {}

    std::uintptr_t add(std::shared_ptr<T> object)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::uintptr_t handle = next_;
        next_ += 4; // like Windows, handle values are multiples of four
        items_.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<T> find(std::uintptr_t handle) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = items_.find(handle);
        return it == items_.end() ? nullptr : it->second;
    }

    std::shared_ptr<T> remove(std::uintptr_t handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = items_.find(handle);
        if (it == items_.end()) {
            return nullptr;
        }
        std::shared_ptr<T> object = std::move(it->second);
        items_.erase(it);
        return object;
    }

    std::size_t size() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return items_.size();
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::uintptr_t, std::shared_ptr<T>> items_;
    std::uintptr_t next_;
};

} // namespace orv::platform

#endif
