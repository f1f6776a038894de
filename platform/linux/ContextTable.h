// Certificate contexts handed out by pointer, each with its reference count:
// a pointer that is not (any more) live is refused instead of dereferenced.
// T holds the CERT_CONTEXT it hands out as `context` and an int `references`.
#ifndef ORV_PLATFORM_CONTEXT_TABLE_H
#define ORV_PLATFORM_CONTEXT_TABLE_H

#include "platform/Win32.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace orv::platform {

template <typename T>
class ContextTable {
public:
    PCCERT_CONTEXT add(std::unique_ptr<T> object)
    {
        const CERT_CONTEXT* pointer = &object->context;
        std::lock_guard<std::mutex> guard(lock_);
        byPointer_.emplace(pointer, std::move(object));
        return pointer;
    }

    // The object behind a pointer, valid while `guard` holds the table; null
    // for a pointer that is not live.
    T* find(PCCERT_CONTEXT context, std::unique_lock<std::mutex>& guard)
    {
        guard = std::unique_lock<std::mutex>(lock_);
        auto it = byPointer_.find(context);
        return it == byPointer_.end() ? nullptr : it->second.get();
    }

    // Adds `delta` to the count and frees the object at zero; false for a
    // pointer that is not live.
    bool adjust(PCCERT_CONTEXT context, int delta)
    {
        std::unique_ptr<T> doomed; // freed after the lock is released
        std::lock_guard<std::mutex> guard(lock_);
        auto it = byPointer_.find(context);
        if (it == byPointer_.end()) {
            return false;
        }
        if ((it->second->references += delta) == 0) {
            doomed = std::move(it->second);
            byPointer_.erase(it);
        }
        return true;
    }

private:
    std::mutex lock_;
    std::unordered_map<const CERT_CONTEXT*, std::unique_ptr<T>> byPointer_;
};

} // namespace orv::platform

#endif
