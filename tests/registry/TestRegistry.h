// Test data in the registry under HKEY_CURRENT_USER\Software\ORVNativeTest\Registry:
// the real registry under Wine, a .reg file of the stand-in's on Linux.
// Keys and values are staged, written by publish() and removed when the
// object goes.
#ifndef ORV_TESTS_REGISTRY_TESTREGISTRY_H
#define ORV_TESTS_REGISTRY_TESTREGISTRY_H

#include "platform/Win32.h"

#include <string>
#include <vector>

class TestRegistry {
public:
    // Relative to HKEY_CURRENT_USER.
    static constexpr const char* basePath = "Software\\ORVNativeTest\\Registry";

    TestRegistry();
    ~TestRegistry();
    TestRegistry(const TestRegistry&) = delete;
    TestRegistry& operator=(const TestRegistry&) = delete;

    // Paths are relative to basePath.
    void addKey(const std::string& path) { keys_.push_back(path); }
    void addValue(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& data)
    {
        values_.push_back({path, name, type, data});
    }
    void publish();

    static std::string under(const std::string& path) { return std::string(basePath) + "\\" + path; }

private:
    struct Value {
        std::string path;
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<std::string> keys_;
    std::vector<Value> values_;
    std::string root_;
};

#endif
