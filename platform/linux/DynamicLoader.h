// The dynamic loader behind LoadLibraryA, GetProcAddress and FreeLibrary, with
// the codes Windows gives: 126 for a library it cannot load, 127 for a name
// it cannot find.
#ifndef ORV_PLATFORM_DYNAMIC_LOADER_H
#define ORV_PLATFORM_DYNAMIC_LOADER_H

#include "platform/Win32.h"

namespace orv::platform {

HMODULE loadSharedObject(LPCSTR file);
FARPROC findSymbol(HMODULE module, LPCSTR name);
BOOL closeSharedObject(HMODULE module);

} // namespace orv::platform

#endif
