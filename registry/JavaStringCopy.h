// A Java string copied out as NUL-terminated modified UTF-8, handed to the
// registry's ANSI functions as it is (identical for ASCII text).
#ifndef ORV_REGISTRY_JAVASTRINGCOPY_H
#define ORV_REGISTRY_JAVASTRINGCOPY_H

#include <jni.h>

#include <vector>

namespace Common {

class JavaStringCopy {
public:
    // A null Java string gives a copy whose c_str() is null, so the reader
    // can report the missing argument by name.
    JavaStringCopy(JNIEnv* env, jstring text);

    const char* c_str() const noexcept { return isNull_ ? nullptr : bytes_.data(); }

private:
    std::vector<char> bytes_;
    bool isNull_;
};

} // namespace Common

#endif
