// Helpers shared by the search, object and crypto tests against the mock.
#ifndef ORV_TESTS_PKCS11_SEARCHTESTSUPPORT_H
#define ORV_TESTS_PKCS11_SEARCHTESTSUPPORT_H

#include "MockModuleFixture.h"
#include "pkcs11bridge/PKCS11Slot.h"

#include <string>

namespace PKCS11Test {

inline JNIBridge::ByteArray bytes(const std::string& text)
{
    return JNIBridge::ByteArray(text.data(), 0, static_cast<unsigned int>(text.size()));
}

inline std::string text(const JNIBridge::ByteArray& value)
{
    return std::string(value.data(), value.length());
}

inline std::string number(unsigned long value)
{
    return std::to_string(value);
}

// The certificate objects of the default fixture's token A, found by value.
inline PKCS11Bridge::Certificate certificateOf(PKCS11Bridge::PKCS11Slot& slot, const char* value)
{
    const JNIBridge::SmartPointer<PKCS11Bridge::Certificate> found = slot.findCertificate(CKC_X_509, bytes(value));
    if (!found) {
        throw std::runtime_error(std::string("fixture certificate missing: ") + value);
    }
    return *found;
}

// Log lines whose function name starts with one of the prefixes.
inline std::vector<std::string> linesStartingWith(std::initializer_list<const char*> prefixes)
{
    std::vector<std::string> selected;
    for (const std::string& line : mock().logLines()) {
        for (const char* prefix : prefixes) {
            if (line.compare(0, std::string(prefix).size(), prefix) == 0) {
                selected.push_back(line);
                break;
            }
        }
    }
    return selected;
}

} // namespace PKCS11Test

#endif
