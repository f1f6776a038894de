// The certificates of one type found on a token, in the order the module gave them.
#ifndef ORV_PKCS11BRIDGE_CERTIFICATES_H
#define ORV_PKCS11BRIDGE_CERTIFICATES_H

#include "pkcs11bridge/Certificate.h"

#include <vector>

namespace PKCS11Bridge {

class Certificates {
public:
    void add(const Certificate& certificate);
    unsigned int size() const noexcept;
    // Throws JNIBridge::IndexOutOfBoundsException past the last entry.
    const Certificate& getCertificate(unsigned int index) const;

private:
    std::vector<Certificate> certificates_;
};

} // namespace PKCS11Bridge

#endif
