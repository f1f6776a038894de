// The other side of the bridge's RSA operations, computed without the bridge:
// OpenSSL on Linux, a separate verify-only CryptoAPI context under Wine, both
// working from the certificate's public key alone.
#ifndef ORV_TESTS_CAPI_INDEPENDENTCRYPTO_H
#define ORV_TESTS_CAPI_INDEPENDENTCRYPTO_H

#include <vector>

using Bytes = std::vector<unsigned char>;

namespace IndependentCrypto {

enum class Hash { Sha1, Md5 };

Bytes digestOf(Hash hash, const Bytes& data);
// signature in CryptoAPI's little-endian byte order.
bool verifies(const Bytes& certificate, Hash hash, const Bytes& digest, const Bytes& littleEndianSignature);
// RSA PKCS#1 v1.5 encryption to the certificate's key, big-endian as Java's Cipher returns it.
Bytes wrapBigEndian(const Bytes& certificate, const Bytes& plain);

} // namespace IndependentCrypto

#endif
