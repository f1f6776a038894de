// Loads the library as a Java VM does (dlopen or LoadLibraryA), runs its load
// hook against the host VM and keeps what it registered.
#ifndef ORV_TESTS_JNIHOST_HOSTLIBRARY_H
#define ORV_TESTS_JNIHOST_HOSTLIBRARY_H

#include "HostVM.h"

#include <string>

class HostLibrary {
public:
    // Throws std::runtime_error when the library or its hook cannot be had,
    // the hook answers another version or leaves an exception pending.
    HostLibrary(const std::string& path, HostVM& vm);

    // The native registered as Class.method, Class being the simple name.
    const HostBinding& binding(const std::string& qualifiedName) const;

private:
    HostVM& vm_;
};

#endif
