// Sub-key names, value names and value data, each read through a key opened for the one call.
#include "registry/RegistryAccessor.h"

#include "common/Exception.h"
#include "registry/DescribeError.h"
#include "common/ScopedHandle.h"
#include "common/Win32CallLog.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace RegistryBridge {

namespace {

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle empty() noexcept { return nullptr; }
    static void close(Handle key) noexcept { Common::Win32CallLog::status("RegCloseKey", RegCloseKey(key)); }
};

using RegistryKey = Common::ScopedHandle<RegistryKeyTraits>;

// Buffer sizes in characters, terminator included: the longest key name
// (255) and value name (16383) fit whole. Windows needs room for the
// terminator, so the full buffer size is what the enumeration is told.
const DWORD kKeyNameBuffer = 256;
const DWORD kValueNameBuffer = 16384;

void requireArgument(const char* argument, const char* what)
{
    if (argument == nullptr) {
        throw Common::IllegalArguementException(what);
    }
}

[[noreturn]] void throwAccessError(const char* message, LSTATUS status)
{
    const std::string text = describeError(message, static_cast<std::int32_t>(status));
    throw Common::RegistryAccessException(text.c_str());
}

void openKey(HKEY root, const char* path, RegistryKey& key)
{
    const LSTATUS status =
        Common::Win32CallLog::status("RegOpenKeyExA", RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()));
    if (status != ERROR_SUCCESS) {
        throwAccessError("Could not open registry key.", status);
    }
}

// What differs between enumerating sub-keys and values.
struct Enumeration {
    const char* nullPathMessage;
    const char* endMessage;
    const char* failureMessage;
    DWORD bufferSize;
    LSTATUS (*read)(HKEY key, DWORD index, char* name, DWORD* length);
};

LSTATUS readKeyName(HKEY key, DWORD index, char* name, DWORD* length)
{
    FILETIME lastWrite;
    return Common::Win32CallLog::status("RegEnumKeyExA",
                                        RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, &lastWrite));
}

LSTATUS readValueName(HKEY key, DWORD index, char* name, DWORD* length)
{
    DWORD type = 0;
    return Common::Win32CallLog::status("RegEnumValueA",
                                        RegEnumValueA(key, index, name, length, nullptr, &type, nullptr, nullptr));
}

const Enumeration kSubKeys = {
    "The path passed to RegistryAccessor::getKeyName was null.\n",
    "No more registry keys.",
    "Could get registry key name.",
    kKeyNameBuffer,
    readKeyName,
};

const Enumeration kValues = {
    "The path passed to RegistryAccessor::getValueName was null.\n",
    "No more registry values.",
    "Could get registry value name.",
    kValueNameBuffer,
    readValueName,
};

std::string enumerate(const Enumeration& kind, std::int32_t keyId, const char* path, std::int32_t index)
{
    // Arguments are checked before the registry is touched.
    const HKEY root = RegistryAccessor::getRootKey(keyId);
    requireArgument(path, kind.nullPathMessage);
    RegistryKey key;
    openKey(root, path, key);
    std::vector<char> name(kind.bufferSize, '\0');
    DWORD length = kind.bufferSize;
    const LSTATUS status = kind.read(key.get(), static_cast<DWORD>(index), name.data(), &length);
    key.reset();
    if (status == ERROR_NO_MORE_ITEMS) {
        throw Common::NoMoreElementsException(kind.endMessage);
    }
    if (status != ERROR_SUCCESS) {
        throwAccessError(kind.failureMessage, status);
    }
    return std::string(name.data(), std::min<DWORD>(length, kind.bufferSize - 1));
}

// The data of one value, sized by a first query.
std::vector<BYTE> readValueData(HKEY key, const char* valueName)
{
    DWORD size = 0;
    LSTATUS status = Common::Win32CallLog::status("RegQueryValueExA",
                                                  RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size));
    if (status != ERROR_SUCCESS) {
        throwAccessError("Could not extract the registry value.", status);
    }
    std::vector<BYTE> data(size);
    status = Common::Win32CallLog::status("RegQueryValueExA",
                                          RegQueryValueExA(key, valueName, nullptr, nullptr, data.data(), &size));
    if (status != ERROR_SUCCESS) {
        throwAccessError("Could not extract the registry value.", status);
    }
    // The second query reports how much it wrote, never more than it was given.
    data.resize(std::min<std::size_t>(size, data.size()));
    return data;
}

} // namespace

HKEY RegistryAccessor::getRootKey(std::int32_t keyId)
{
    switch (keyId) {
    case 1:
        return HKEY_CLASSES_ROOT;
    case 2:
        return HKEY_CURRENT_USER;
    case 3:
        return HKEY_LOCAL_MACHINE;
    case 4:
        return HKEY_USERS;
    case 5:
        return HKEY_DYN_DATA;
    default:
        break;
    }
    const std::string message =
        "The keyId passed to RegistryAccessor::getRootKey was not valid. The invalid value is: " +
        std::to_string(keyId) + ".\n";
    throw Common::IllegalArguementException(message.c_str());
}

std::string RegistryAccessor::getKeyName(std::int32_t keyId, const char* path, std::int32_t index)
{
    return enumerate(kSubKeys, keyId, path, index);
}

std::string RegistryAccessor::getValueName(std::int32_t keyId, const char* path, std::int32_t index)
{
    return enumerate(kValues, keyId, path, index);
}

std::string RegistryAccessor::getValueString(std::int32_t keyId, const char* path, const char* valueName)
{
    const HKEY root = getRootKey(keyId);
    requireArgument(path, "The path passed to RegistryAccessor::getValueString was null.\n");
    requireArgument(valueName, "The valueName passed to RegistryAccessor::getValueString was null.\n");
    RegistryKey key;
    openKey(root, path, key);
    const std::vector<BYTE> data = readValueData(key.get(), valueName);
    key.reset();
    return textUpToFirstZero(data.data(), data.size());
}

std::string RegistryAccessor::textUpToFirstZero(const BYTE* data, std::size_t size)
{
    if (data == nullptr || size == 0) {
        return std::string();
    }
    const void* zero = std::memchr(data, 0, size);
    const std::size_t length = zero != nullptr ? static_cast<std::size_t>(static_cast<const BYTE*>(zero) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}

} // namespace RegistryBridge
