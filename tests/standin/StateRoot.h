// Where the stand-in keeps what Windows would keep: key containers, system
// certificate stores and the registry. One directory, named by
// ORV_WIN32_ROOT, else $XDG_DATA_HOME/orvnative-win32, else
// ~/.local/share/orvnative-win32. It is looked up on every use, so a test
// may point it elsewhere at any time.
#ifndef ORV_PLATFORM_STATE_ROOT_H
#define ORV_PLATFORM_STATE_ROOT_H

#include "tests/standin/Common.h"

#include <string>
#include <vector>

namespace orv::platform {

std::string stateRoot();
// stateRoot()/sub, created (mode 0700) when `create` is set; "" on failure.
std::string stateDir(const std::string& sub, bool create);

bool makeDirs(const std::string& path);
bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
// Names in a directory (no "." / ".."), sorted; empty when it is missing.
std::vector<std::string> listDir(const std::string& path);

bool readFile(const std::string& path, Bytes& out);
bool readFileSecure(const std::string& path, SecureBytes& out);
// Writes a temporary file beside `path` and renames it over, so readers see
// the old or the new content, never a part.
bool writeFileAtomic(const std::string& path, const BYTE* data, std::size_t size, unsigned mode);
bool removeFile(const std::string& path);
bool removeTree(const std::string& path);

// A directory-safe form of a caller's name: [A-Za-z0-9._-] kept, every other
// byte as %XX, and a leading '.' escaped so "." and ".." cannot appear.
std::string encodeName(const std::string& name);
std::string decodeName(const std::string& encoded);

} // namespace orv::platform

#endif
