// Reads the registry through advapi32's ANSI functions: sub-key names, value
// names and value data as text. Each call opens and closes its own key.
#ifndef ORV_REGISTRY_REGISTRYACCESSOR_H
#define ORV_REGISTRY_REGISTRYACCESSOR_H

#include "platform/Win32.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace RegistryBridge {

class RegistryAccessor {
public:
    // 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_USER, 3 HKEY_LOCAL_MACHINE,
    // 4 HKEY_USERS, 5 HKEY_DYN_DATA; anything else is
    // Common::IllegalArguementException.
    static HKEY getRootKey(std::int32_t keyId);

    // The index-th sub-key / value name of keyId\path. Past the last one:
    // Common::NoMoreElementsException. A negative index counts as past the end.
    static std::string getKeyName(std::int32_t keyId, const char* path, std::int32_t index);
    static std::string getValueName(std::int32_t keyId, const char* path, std::int32_t index);

    // The value's data up to their first zero byte, whatever the value's type.
    static std::string getValueString(std::int32_t keyId, const char* path, const char* valueName);

    // Bytes up to the first zero, never reading past size.
    static std::string textUpToFirstZero(const BYTE* data, std::size_t size);
};

} // namespace RegistryBridge

#endif
