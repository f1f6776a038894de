// The stand-in's state directory: finding it, files written whole, and names safe for it.
#include "tests/standin/StateRoot.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orv::platform {

namespace {

std::string homeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    struct passwd* pw = getpwuid(getuid());
    return (pw != nullptr && pw->pw_dir != nullptr) ? pw->pw_dir : "/tmp";
}

struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
};

bool writeAll(int fd, const BYTE* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

template <typename Buffer>
bool readInto(const std::string& path, Buffer& out)
{
    FdCloser file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        return false;
    }
    struct stat st {};
    if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    out.assign(static_cast<std::size_t>(st.st_size), 0);
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = read(file.fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return true;
}

} // namespace

std::string stateRoot()
{
    const char* root = std::getenv("ORV_WIN32_ROOT");
    if (root != nullptr && root[0] != '\0') {
        return root;
    }
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/orvnative-win32";
    }
    return homeDirectory() + "/.local/share/orvnative-win32";
}

std::string stateDir(const std::string& sub, bool create)
{
    std::string dir = stateRoot() + "/" + sub;
    if (create && !makeDirs(dir)) {
        return "";
    }
    return dir;
}

bool makeDirs(const std::string& path)
{
    if (path.empty()) {
        return false;
    }
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return isDirectory(path);
}

bool pathExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> listDir(const std::string& path)
{
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool readFile(const std::string& path, Bytes& out)
{
    return readInto(path, out);
}

bool readFileSecure(const std::string& path, SecureBytes& out)
{
    return readInto(path, out);
}

bool writeFileAtomic(const std::string& path, const BYTE* data, std::size_t size, unsigned mode)
{
    static std::atomic<unsigned> counter{0};
    std::string temp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, data, size) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) {
        return true;
    }
    unlink(temp.c_str());
    return false;
}

bool removeFile(const std::string& path)
{
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool removeTree(const std::string& path)
{
    if (!isDirectory(path)) {
        return removeFile(path);
    }
    bool ok = true;
    for (const std::string& name : listDir(path)) {
        ok = removeTree(path + "/" + name) && ok;
    }
    return rmdir(path.c_str()) == 0 && ok;
}

std::string encodeName(const std::string& name)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '-' || (c == '.' && i > 0);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 0xF];
        }
    }
    return out;
}

std::string decodeName(const std::string& encoded)
{
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size()) {
            int high = hexValue(encoded[i + 1]);
            int low = hexValue(encoded[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += encoded[i];
    }
    return out;
}

} // namespace orv::platform
