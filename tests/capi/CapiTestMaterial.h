// Keys and certificates made by openssl when the tests are built.
#ifndef ORV_TESTS_CAPI_CAPITESTMATERIAL_H
#define ORV_TESTS_CAPI_CAPITESTMATERIAL_H

#include <vector>

namespace CapiTestMaterial {

// The signer's RSA-1024 key as a PRIVATEKEYBLOB (CALG_RSA_KEYX).
const std::vector<unsigned char>& signerBlob();
// Self-signed certificates over the signer's key with serials 1 to 5.
const std::vector<unsigned char>& signerCert1();
const std::vector<unsigned char>& signerCert2();
const std::vector<unsigned char>& signerCert3();
const std::vector<unsigned char>& signerCert4();
const std::vector<unsigned char>& signerCert5();
// A certificate over an unrelated key; never put into a store.
const std::vector<unsigned char>& strangerCert();

} // namespace CapiTestMaterial

#endif
