// The stand-in reads every *.reg file under $ORV_WIN32_ROOT/registry; the
// test gets a private root for its lifetime.
#include "TestRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string keyLine(const std::string& path)
{
    return "[HKEY_CURRENT_USER\\" + TestRegistry::under(path) + "]\n";
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string hexData(DWORD type, const std::vector<BYTE>& data)
{
    char head[32];
    std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(type));
    std::string out = head;
    for (std::size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%s%02x", i == 0 ? "" : ",", data[i]);
        out += byte;
    }
    return out;
}

} // namespace

TestRegistry::TestRegistry()
{
    char dir[] = "/tmp/orv-registry-test-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = dir;
    mkdir((root_ + "/registry").c_str(), 0700);
    setenv("ORV_WIN32_ROOT", root_.c_str(), 1);
}

TestRegistry::~TestRegistry()
{
    std::remove((root_ + "/registry/0001-test.reg").c_str());
    rmdir((root_ + "/registry").c_str());
    rmdir(root_.c_str());
    unsetenv("ORV_WIN32_ROOT");
}

void TestRegistry::publish()
{
    std::ofstream file(root_ + "/registry/0001-test.reg", std::ios::binary);
    file << "REGEDIT4\n\n";
    for (const std::string& key : keys_) {
        file << keyLine(key) << "\n";
    }
    for (const Value& value : values_) {
        file << keyLine(value.path) << quoted(value.name) << "=" << hexData(value.type, value.data) << "\n\n";
    }
    if (!file) {
        throw std::runtime_error("cannot write the test .reg file");
    }
}
