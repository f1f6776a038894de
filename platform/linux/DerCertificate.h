// The fields of a DER X.509 certificate that a CERT_INFO points at, read
// without a crypto library: enough to tell one certificate from other bytes and
// to name it by issuer and serial number.
#ifndef ORV_PLATFORM_DER_CERTIFICATE_H
#define ORV_PLATFORM_DER_CERTIFICATE_H

#include "platform/Win32.h"

#include <vector>

namespace orv::platform {

class DerCertificate {
public:
    // 0, or the ASN.1 error CryptoAPI gives for bytes that hold no certificate.
    LONG parse(const BYTE* data, DWORD size);

    std::vector<BYTE>& encoded() { return encoded_; }
    // Little-endian, sign byte included, as CryptoAPI keeps it.
    std::vector<BYTE>& serial() { return serial_; }
    std::vector<BYTE>& issuer() { return issuer_; }
    std::vector<BYTE>& subject() { return subject_; }
    DWORD version() const { return version_; }

private:
    std::vector<BYTE> encoded_, serial_, issuer_, subject_;
    DWORD version_ = 0;
};

} // namespace orv::platform

#endif
