// The certificates of one type found on a token.
#include "pkcs11bridge/Certificates.h"

#include "jnibridge/IndexOutOfBoundsException.h"

namespace PKCS11Bridge {

void Certificates::add(const Certificate& certificate)
{
    certificates_.push_back(certificate);
}

unsigned int Certificates::size() const noexcept
{
    return static_cast<unsigned int>(certificates_.size());
}

const Certificate& Certificates::getCertificate(unsigned int index) const
{
    if (index >= size()) {
        throw JNIBridge::IndexOutOfBoundsException("Certificates::getCertificate(unsigned int) - index ",
                                                   static_cast<int>(index), 0, static_cast<int>(size()) - 1);
    }
    return certificates_[index];
}

} // namespace PKCS11Bridge
