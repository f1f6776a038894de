// The replaced allocation functions and what they record. The table is global
// mutable state by necessity: operator delete has nowhere else to report to.
// A spin lock guards it because a mutex could allocate or recurse.
#include "SecretWatch.h"

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
    long long liveBytes;
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

bool allZero(const unsigned char* bytes, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

bool contains(const unsigned char* bytes, std::size_t size, const unsigned char* pattern, std::size_t length)
{
    if (length == 0 || size < length) {
        return false;
    }
    for (std::size_t i = 0; i + length <= size; ++i) {
        if (bytes[i] == pattern[0] && std::memcmp(bytes + i, pattern, length) == 0) {
            return true;
        }
    }
    return false;
}

void* allocate(std::size_t size) noexcept
{
    auto* raw = static_cast<unsigned char*>(std::malloc(size + headerSize));
    if (raw == nullptr) {
        return nullptr;
    }
    std::memcpy(raw, &size, sizeof size);
    {
        Lock lock;
        state.liveBytes += static_cast<long long>(size);
    }
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

long long SecretWatch::liveBytes()
{
    Lock lock;
    return state.liveBytes;
}

void SecretWatch::inspect(const void* block, std::size_t size) noexcept
{
    const auto* bytes = static_cast<const unsigned char*>(block);
    Lock lock;
    state.liveBytes -= static_cast<long long>(size);
    for (int i = 0; i < state.tagCount; ++i) {
        Tag& t = state.tags[i];
        if (t.block == block && !t.released) {
            t.released = true;
            t.wiped = allZero(bytes, size);
            t.size = size;
        }
    }
    if (contains(bytes, size, state.secret, state.secretLength)) {
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
