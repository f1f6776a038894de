// Registry functions over the .reg files of the state directory. An opened
// key keeps the snapshot it was opened in, as a handle keeps its key.
#include "tests/standin/Registry.h"

#include "platform/linux/HandleTable.h"
#include "tests/standin/StateRoot.h"

#include <sys/stat.h>

#include <cstring>
#include <iomanip>
#include <mutex>
#include <sstream>

namespace orv::platform {
namespace {

const char kRegistryDir[] = "registry";

struct OpenKey {
    std::shared_ptr<const RegForest> forest;
    const RegKey* key;
};

HandleTable<OpenKey>& openKeys()
{
    static HandleTable<OpenKey> table(0x2000);
    return table;
}

// The parsed registry and the directory listing it was parsed from.
struct RegistryCache {
    std::mutex lock;
    std::string signature;
    std::shared_ptr<const RegForest> forest;
};

RegistryCache& registryCache()
{
    static RegistryCache cache;
    return cache;
}

std::string registryDir()
{
    return stateDir(kRegistryDir, false);
}

bool isRegFile(const std::string& name)
{
    return name.size() > 4 && equalsIgnoreCase(name.substr(name.size() - 4), ".reg");
}

// Identifies the set of files and their versions, to notice changes.
std::string directorySignature(const std::string& dir, FILETIME& newest)
{
    std::ostringstream signature;
    signature << dir << '\n';
    uint64_t newestTicks = 0;
    for (const std::string& name : registryFiles()) {
        struct stat st {};
        if (stat((dir + "/" + name).c_str(), &st) != 0) {
            continue;
        }
        signature << name << ':' << st.st_size << ':' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << '\n';
        // FILETIME counts 100 ns steps since 1601.
        uint64_t ticks = (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                         static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
        newestTicks = std::max(newestTicks, ticks);
    }
    newest.dwLowDateTime = static_cast<DWORD>(newestTicks);
    newest.dwHighDateTime = static_cast<DWORD>(newestTicks >> 32);
    return signature.str();
}

bool parseAll(const std::string& dir, RegForest& forest, RegParseError& error)
{
    for (const std::string& name : registryFiles()) {
        Bytes content;
        std::string path = dir + "/" + name;
        if (!readFile(path, content)) {
            error = {path, 0, "cannot read the file"};
            return false;
        }
        if (!applyRegFile(content, path, forest, error)) {
            return false;
        }
    }
    return true;
}

const RegKey& emptyKey()
{
    static const RegKey kEmpty;
    return kEmpty;
}

bool isPredefined(HKEY key)
{
    auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= reinterpret_cast<std::uintptr_t>(HKEY_CLASSES_ROOT) &&
           value <= reinterpret_cast<std::uintptr_t>(HKEY_DYN_DATA);
}

// Resolves a handle to the key it names; a root is read afresh.
LSTATUS resolve(HKEY handle, OpenKey& out)
{
    if (isPredefined(handle)) {
        RegParseError error;
        if (!loadRegistry(out.forest, error)) {
            return ERROR_BADDB;
        }
        auto root = out.forest->roots.find(reinterpret_cast<std::uintptr_t>(handle));
        out.key = root == out.forest->roots.end() ? &emptyKey() : &root->second;
        return ERROR_SUCCESS;
    }
    std::shared_ptr<OpenKey> open = openKeys().find(reinterpret_cast<std::uintptr_t>(handle));
    if (!open) {
        return ERROR_INVALID_HANDLE;
    }
    out = *open;
    return ERROR_SUCCESS;
}

LSTATUS findSubPath(const RegKey& start, const char* subKey, const RegKey*& found)
{
    found = &start;
    if (subKey == nullptr) {
        return ERROR_SUCCESS;
    }
    std::string path = subKey;
    if (!path.empty() && path[0] == '\\') {
        return 161; // ERROR_BAD_PATHNAME, as Windows
    }
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t next = path.find('\\', pos);
        std::string part = path.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        pos = next == std::string::npos ? path.size() : next + 1;
        if (part.empty() && pos >= path.size()) {
            break; // trailing '\' is accepted
        }
        found = found->findSubKey(part);
        if (found == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    return ERROR_SUCCESS;
}

// Copies a name when the caller's capacity (in characters, counting the
// terminating zero) holds it; the count then excludes the zero.
LSTATUS copyName(const std::string& name, LPSTR buffer, LPDWORD capacity)
{
    if (buffer == nullptr || capacity == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (*capacity <= name.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// The usual data protocol: size query with no buffer, ERROR_MORE_DATA and
// the needed size when the buffer is too small.
LSTATUS copyData(const RegValue& value, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (data != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    auto needed = static_cast<DWORD>(value.data.size());
    if (data == nullptr) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0) {
        std::memcpy(data, value.data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

std::string nextImportName(const std::string& dir, const std::string& source)
{
    int highest = 0;
    for (const std::string& name : listDir(dir)) {
        highest = std::max(highest, std::atoi(name.c_str()));
    }
    std::string base = source.substr(source.find_last_of('/') + 1);
    std::ostringstream name;
    name << std::setw(4) << std::setfill('0') << highest + 1 << '-' << encodeName(base);
    if (!isRegFile(name.str())) {
        name << ".reg";
    }
    return name.str();
}

} // namespace

std::vector<std::string> registryFiles()
{
    std::vector<std::string> files;
    for (const std::string& name : listDir(registryDir())) {
        if (isRegFile(name)) {
            files.push_back(name);
        }
    }
    return files;
}

bool loadRegistry(std::shared_ptr<const RegForest>& forest, RegParseError& error)
{
    std::string dir = registryDir();
    FILETIME newest{};
    std::string signature = directorySignature(dir, newest);
    RegistryCache& cache = registryCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    if (cache.forest && cache.signature == signature) {
        forest = cache.forest;
        return true;
    }
    auto fresh = std::make_shared<RegForest>();
    fresh->lastWrite = newest;
    if (!parseAll(dir, *fresh, error)) {
        return false;
    }
    cache.signature = signature;
    cache.forest = fresh;
    forest = fresh;
    return true;
}

bool importRegistryFile(const std::string& path, RegParseError& error)
{
    Bytes content;
    if (!readFile(path, content)) {
        error = {path, 0, "cannot read the file"};
        return false;
    }
    RegForest scratch;
    if (!applyRegFile(content, path, scratch, error)) {
        return false;
    }
    std::string dir = stateDir(kRegistryDir, true);
    if (dir.empty() || !writeFileAtomic(dir + "/" + nextImportName(dir, path), content.data(), content.size(), 0600)) {
        error = {path, 0, "cannot store the file under " + stateRoot()};
        return false;
    }
    return true;
}

} // namespace orv::platform

using namespace orv::platform;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult)
{
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    OpenKey parent;
    LSTATUS status = resolve(hKey, parent);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const RegKey* found = nullptr;
    status = findSubPath(*parent.key, lpSubKey, found);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    auto open = std::make_shared<OpenKey>(OpenKey{parent.forest, found});
    *phkResult = reinterpret_cast<HKEY>(openKeys().add(std::move(open)));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (lpReserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey key;
    LSTATUS status = resolve(hKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (dwIndex >= key.key->subKeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    status = copyName(key.key->subKeys[dwIndex]->name, lpName, lpcchName);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) {
        lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime != nullptr) {
        *lpftLastWriteTime = key.forest->lastWrite;
    }
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey key;
    LSTATUS status = resolve(hKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (dwIndex >= key.key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const RegValue& value = key.key->values[dwIndex];
    status = copyName(value.name, lpValueName, lpcchValueName);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return copyData(value, lpType, lpData, lpcbData);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    if (lpReserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    OpenKey key;
    LSTATUS status = resolve(hKey, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const RegValue* value = key.key->findValue(lpValueName != nullptr ? lpValueName : "");
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    return copyData(*value, lpType, lpData, lpcbData);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    if (isPredefined(hKey)) {
        return ERROR_SUCCESS;
    }
    return openKeys().remove(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // extern "C"
