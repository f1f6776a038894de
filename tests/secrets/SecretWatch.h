// Allocator hooks of the secrets test program: the program replaces the
// global operator new and delete, so every block the library frees through
// them passes here first and can be inspected before it goes.
#ifndef ORV_TESTS_SECRETWATCH_H
#define ORV_TESTS_SECRETWATCH_H

#include <cstddef>

class SecretWatch {
public:
    // Watches the block that starts at `block` (as operator new returned it);
    // returns a ticket for outcome(). Returns -1 when the table is full.
    static int tag(const void* block);

    struct Outcome {
        bool released;
        bool wiped; // every byte of the block was 0 when it was released
        std::size_t size;
    };
    static Outcome outcome(int ticket);

    // From now on every released block is searched for these bytes.
    static void watchFor(const void* secret, std::size_t length);
    static void stopWatching();
    // Released blocks that still held the watched bytes.
    static int sightings();

    // Called by the replaced operator delete family.
    static void inspect(const void* block, std::size_t size) noexcept;
};

#endif
