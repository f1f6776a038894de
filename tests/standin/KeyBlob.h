// RSA keys in CryptoAPI's blob layout (BLOBHEADER, RSAPUBKEY, then the
// little-endian numbers) and back to OpenSSL keys.
#ifndef ORV_PLATFORM_KEY_BLOB_H
#define ORV_PLATFORM_KEY_BLOB_H

#include "tests/standin/Common.h"

namespace orv::platform {

constexpr DWORD kRsaPublicMagic = 0x31415352;  // "RSA1"
constexpr DWORD kRsaPrivateMagic = 0x32415352; // "RSA2"

struct ImportedKey {
    PkeyPtr key;
    ALG_ID algorithm = 0;
    bool isPrivate = false;
};

// Decodes a PUBLICKEYBLOB or PRIVATEKEYBLOB; on failure returns the NTE_
// code Windows gives for such a blob.
LONG rsaKeyFromBlob(const BYTE* blob, DWORD size, ImportedKey& out);

// Decodes a CNG BCRYPT_RSAPRIVATE_BLOB (header, then big-endian exponent,
// modulus and both primes); the private exponent and CRT parts are derived.
LONG rsaKeyFromBcryptBlob(const BYTE* blob, DWORD size, PkeyPtr& out);

bool rsaPublicKeyBlob(EVP_PKEY* key, ALG_ID algorithm, Bytes& out);
bool rsaPrivateKeyBlob(EVP_PKEY* key, ALG_ID algorithm, SecureBytes& out);

// Size of the RSA modulus in bytes; 0 when the key is not RSA.
DWORD rsaModulusBytes(EVP_PKEY* key);

} // namespace orv::platform

#endif
