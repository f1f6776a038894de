// The usual Win32 failure return: the thread's last error set, FALSE or NULL.
#ifndef ORV_PLATFORM_FAILURE_H
#define ORV_PLATFORM_FAILURE_H

#include "platform/Win32.h"

namespace orv::platform {

inline BOOL fail(LONG code)
{
    SetLastError(static_cast<DWORD>(code));
    return FALSE;
}

template <typename T>
inline T* failNull(LONG code)
{
    SetLastError(static_cast<DWORD>(code));
    return nullptr;
}

} // namespace orv::platform

#endif
