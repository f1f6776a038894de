// Writes the test data into the real registry (Wine's, in the build tree's
// prefix) and deletes the whole test key afterwards.
#include "TestRegistry.h"

#include <algorithm>
#include <stdexcept>

const char* const TestRegistry::basePath = "Software\\ORVNativeTest\\Registry";

namespace {

HKEY createChild(HKEY parent, const std::string& name)
{
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        throw std::runtime_error("RegCreateKeyExA failed for " + name + ": " + std::to_string(status));
    }
    return key;
}

// One level at a time: Wine's ANSI functions take at most 255 characters of
// path per call, and a test key name alone may be that long.
HKEY createKey(const std::string& path)
{
    HKEY key = createChild(HKEY_CURRENT_USER, TestRegistry::basePath);
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        HKEY child = nullptr;
        try {
            child = createChild(key, path.substr(start, end - start));
        } catch (...) {
            RegCloseKey(key);
            throw;
        }
        RegCloseKey(key);
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

void TestRegistry::addKey(const std::string& path)
{
    keys_.push_back(path);
}

void TestRegistry::addValue(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& data)
{
    values_.push_back({path, name, type, data});
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
