// How the library's fuzz targets report a result that differs from the one
// they composed themselves: a description on stderr, then an abort, so
// libFuzzer keeps the input.
#ifndef ORV_TESTS_FUZZ_FUZZCHECK_H
#define ORV_TESTS_FUZZ_FUZZCHECK_H

#include "jnibridge/String.h"

#include <cstdio>
#include <cstdlib>
#include <string>

[[noreturn]] inline void mismatch(const std::string& what)
{
    std::fprintf(stderr, "mismatch: %s\n", what.c_str());
    std::abort();
}

inline void expect(bool condition, const std::string& what)
{
    if (!condition) {
        mismatch(what);
    }
}

inline std::string bytesOf(const JNIBridge::String& s)
{
    return std::string(s.data(), s.length());
}

#endif
