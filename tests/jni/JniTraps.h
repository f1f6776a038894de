// Fills a JNI function table with traps, for the stand-in VMs of the tests:
// a call of any slot the stand-in did not set ends the process with status 70,
// naming the table and the slot, instead of jumping through a null pointer.
#ifndef ORV_TESTS_JNI_JNITRAPS_H
#define ORV_TESTS_JNI_JNITRAPS_H

#include <jni.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace JniTraps {

// What a trap says before the table and slot; set by fill().
inline const char* announcement = "unexpected call of";

template <int Table, std::size_t Slot>
void JNICALL trap()
{
    std::fprintf(stderr, "%s %s slot %u\n", announcement, Table == 0 ? "JNIInvokeInterface_" : "JNINativeInterface_",
                 static_cast<unsigned>(Slot));
    std::fflush(stderr);
    std::_Exit(70);
}

template <int Table, std::size_t... Slots>
void fill(void** slots, std::index_sequence<Slots...>)
{
    void* traps[] = {reinterpret_cast<void*>(&trap<Table, Slots>)...};
    std::memcpy(slots, traps, sizeof traps);
}

// Table 0 is the invocation interface, 1 the native interface.
template <int Table, typename FunctionTable>
void fill(FunctionTable& table, const char* announcing)
{
    constexpr std::size_t slots = sizeof(FunctionTable) / sizeof(void*);
    static_assert(sizeof(FunctionTable) % sizeof(void*) == 0, "a JNI table holds only pointers");
    announcement = announcing;
    fill<Table>(reinterpret_cast<void**>(&table), std::make_index_sequence<slots>());
}

} // namespace JniTraps

#endif
