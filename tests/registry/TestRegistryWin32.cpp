// Writes the test data into the real registry (Wine's, in the build tree's
// prefix) and deletes the whole test key afterwards.
#include "TestRegistry.h"

#include <algorithm>
#include <stdexcept>

namespace {

// One level at a time: Wine's ANSI functions take at most 255 characters of
// path per call, and a test key name alone may be that long.
HKEY createKey(const std::string& relative)
{
    const std::string path = TestRegistry::under(relative);
    HKEY key = HKEY_CURRENT_USER;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string name = path.substr(start, end - start);
        HKEY child = nullptr;
        const LONG status = RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
        if (key != HKEY_CURRENT_USER) {
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) {
            throw std::runtime_error("RegCreateKeyExA failed for " + name + ": " + std::to_string(status));
        }
        key = child;
        start = end + 1;
    }
    return key;
}

void removeTestKeys()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, TestRegistry::basePath);
    // The parent goes too once no other test keeps keys under it.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ORVNativeTest");
}

} // namespace

TestRegistry::TestRegistry()
{
    removeTestKeys();
}

TestRegistry::~TestRegistry()
{
    removeTestKeys();
}

void TestRegistry::publish()
{
    for (const std::string& path : keys_) {
        RegCloseKey(createKey(path));
    }
    for (const Value& value : values_) {
        HKEY key = createKey(value.path);
        const LONG status =
            RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            throw std::runtime_error("RegSetValueExA failed for " + value.name + ": " + std::to_string(status));
        }
    }
}
