// The registry as read from .reg files in regedit's export format
// ("REGEDIT4" or "Windows Registry Editor Version 5.00", ANSI, UTF-8 or
// UTF-16LE with BOM). Values are kept as the ANSI functions return them:
// string data of 5.00 files are converted from UTF-16LE to UTF-8.
#ifndef ORV_PLATFORM_REG_FILE_H
#define ORV_PLATFORM_REG_FILE_H

#include "tests/standin/Common.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orv::platform {

struct RegValue {
    std::string name; // "" is the key's default value ("@")
    DWORD type = REG_NONE;
    Bytes data;
};

// Sub-keys and values keep the order in which they were first imported.
struct RegKey {
    std::string name;
    std::vector<std::unique_ptr<RegKey>> subKeys;
    std::vector<RegValue> values;

    RegKey* findSubKey(const std::string& keyName) const;
    RegKey& subKey(const std::string& keyName); // created when missing
    const RegValue* findValue(const std::string& valueName) const;
    void setValue(RegValue value);
    void deleteValue(const std::string& valueName);
    void deleteSubKey(const std::string& keyName);
};

// The predefined roots, by their handle value.
struct RegForest {
    std::map<std::uintptr_t, RegKey> roots;
    FILETIME lastWrite{};
};

struct RegParseError {
    std::string file;
    int line = 0;
    std::string message;
    std::string text() const { return file + ":" + std::to_string(line) + ": " + message; }
};

// Applies one file's contents to `forest`. On failure `error` says where
// and what, and `forest` may hold part of the file.
bool applyRegFile(const Bytes& content, const std::string& fileName, RegForest& forest, RegParseError& error);

// Root handle value for "HKEY_LOCAL_MACHINE", "HKLM", ...; 0 when unknown.
std::uintptr_t rootKeyByName(const std::string& name);

} // namespace orv::platform

#endif
