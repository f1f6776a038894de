// Test hook for the stand-in's certificate stores (Linux only): the store
// handles this process has opened and not yet closed.
#ifndef ORV_PLATFORM_STAND_IN_STORES_H
#define ORV_PLATFORM_STAND_IN_STORES_H

#include <cstddef>

namespace orv::standin {

std::size_t openStoreHandles();

} // namespace orv::standin

#endif
