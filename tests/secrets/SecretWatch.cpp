// The replaced allocation functions and what they record. The table is global
// mutable state by necessity: operator delete has nowhere else to report to.
// A spin lock guards it because a mutex could allocate or recurse.
#include "SecretWatch.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr int tableSize = 256;
constexpr std::size_t headerSize = 16; // keeps the alignment malloc gives
constexpr std::size_t longestSecret = 64;

struct Tag {
    const void* block;
    bool released;
    bool wiped;
    std::size_t size;
};

struct WatchState {
    Tag tags[tableSize];
    int tagCount;
    unsigned char secret[longestSecret];
    std::size_t secretLength;
    int sightings;
};

WatchState state;
std::atomic_flag busy = ATOMIC_FLAG_INIT;

class Lock {
public:
    Lock() noexcept
    {
        while (busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Lock() { busy.clear(std::memory_order_release); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

void* allocate(std::size_t size) noexcept
{
    auto* raw = static_cast<unsigned char*>(std::malloc(size + headerSize));
    if (raw == nullptr) {
        return nullptr;
    }
    std::memcpy(raw, &size, sizeof size);
    return raw + headerSize;
}

void release(void* block) noexcept
{
    if (block == nullptr) {
        return;
    }
    unsigned char* raw = static_cast<unsigned char*>(block) - headerSize;
    std::size_t size = 0;
    std::memcpy(&size, raw, sizeof size);
    SecretWatch::inspect(block, size);
    std::free(raw);
}

void* allocateOrThrow(std::size_t size)
{
    void* block = allocate(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

} // namespace

int SecretWatch::tag(const void* block)
{
    Lock lock;
    if (state.tagCount == tableSize) {
        return -1;
    }
    state.tags[state.tagCount] = {block, false, false, 0};
    return state.tagCount++;
}

SecretWatch::Outcome SecretWatch::outcome(int ticket)
{
    Lock lock;
    if (ticket < 0 || ticket >= state.tagCount) {
        return {false, false, 0};
    }
    const Tag& t = state.tags[ticket];
    return {t.released, t.wiped, t.size};
}

void SecretWatch::watchFor(const void* secret, std::size_t length)
{
    Lock lock;
    state.secretLength = length < longestSecret ? length : longestSecret;
    std::memcpy(state.secret, secret, state.secretLength);
    state.sightings = 0;
}

void SecretWatch::stopWatching()
{
    Lock lock;
    state.secretLength = 0;
}

int SecretWatch::sightings()
{
    Lock lock;
    return state.sightings;
}

void SecretWatch::inspect(const void* block, std::size_t size) noexcept
{
    const auto* bytes = static_cast<const unsigned char*>(block);
    Lock lock;
    for (int i = 0; i < state.tagCount; ++i) {
        Tag& t = state.tags[i];
        if (t.block == block && !t.released) {
            t.released = true;
            t.wiped = std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; });
            t.size = size;
        }
    }
    const unsigned char* end = bytes + size;
    if (state.secretLength > 0 && std::search(bytes, end, state.secret, state.secret + state.secretLength) != end) {
        ++state.sightings;
    }
}

void* operator new(std::size_t size)
{
    return allocateOrThrow(size);
}
void* operator new[](std::size_t size)
{
    return allocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
void operator delete(void* block) noexcept
{
    release(block);
}
void operator delete[](void* block) noexcept
{
    release(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    release(block);
}
