// SHA-1, so that long byte arrays can be written into a transcript as their
// digest; the JUnit runner takes Java's MessageDigest for the same.
#ifndef ORV_TESTS_JNIHOST_SHA1_H
#define ORV_TESTS_JNIHOST_SHA1_H

#include <string>
#include <vector>

class Sha1 {
public:
    // Lowercase hex of the 20-byte digest.
    static std::string hex(const std::vector<unsigned char>& data);
};

#endif
