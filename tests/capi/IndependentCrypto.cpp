// The independent side of the RSA round trips: OpenSSL on Linux, a verify-only CryptoAPI context under Wine.
#include "IndependentCrypto.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#ifdef _WIN32
#include "platform/Win32.h"
#else
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#endif

namespace IndependentCrypto {

#ifdef _WIN32

namespace {

// A verify-only context, with the certificate's public key if one is given.
struct VerifyContext {
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;

    explicit VerifyContext(const Bytes* certificateBytes)
    {
        if (!CryptAcquireContextA(&provider, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
            throw std::runtime_error("CryptAcquireContextA(CRYPT_VERIFYCONTEXT) failed");
        }
        if (certificateBytes == nullptr) {
            return;
        }
        PCCERT_CONTEXT certificate = CertCreateCertificateContext(X509_ASN_ENCODING, certificateBytes->data(),
                                                                  static_cast<DWORD>(certificateBytes->size()));
        const bool imported =
            certificate != nullptr &&
            CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING, &certificate->pCertInfo->SubjectPublicKeyInfo, &key);
        CertFreeCertificateContext(certificate);
        if (!imported) {
            throw std::runtime_error("importing the certificate's public key failed");
        }
    }
    ~VerifyContext()
    {
        if (hash != 0)
            CryptDestroyHash(hash);
        if (key != 0)
            CryptDestroyKey(key);
        CryptReleaseContext(provider, 0);
    }
};

ALG_ID algorithmOf(Hash hash)
{
    return hash == Hash::Sha1 ? CALG_SHA1 : CALG_MD5;
}

} // namespace

Bytes digestOf(Hash hash, const Bytes& data)
{
    VerifyContext context(nullptr);
    Bytes digest(hash == Hash::Sha1 ? 20 : 16);
    DWORD length = static_cast<DWORD>(digest.size());
    const bool ok = CryptCreateHash(context.provider, algorithmOf(hash), 0, 0, &context.hash) &&
                    CryptHashData(context.hash, data.data(), static_cast<DWORD>(data.size()), 0) &&
                    CryptGetHashParam(context.hash, HP_HASHVAL, digest.data(), &length, 0);
    if (!ok)
        throw std::runtime_error("hashing failed");
    return digest;
}

bool verifies(const Bytes& certificate, Hash hash, const Bytes& digest, const Bytes& littleEndianSignature)
{
    VerifyContext context(&certificate);
    return CryptCreateHash(context.provider, algorithmOf(hash), 0, 0, &context.hash) &&
           CryptSetHashParam(context.hash, HP_HASHVAL, digest.data(), 0) &&
           CryptVerifySignatureA(context.hash, littleEndianSignature.data(),
                                 static_cast<DWORD>(littleEndianSignature.size()), context.key, nullptr, 0);
}

Bytes wrapBigEndian(const Bytes& certificate, const Bytes& plain)
{
    VerifyContext context(&certificate);
    Bytes buffer(plain);
    DWORD length = static_cast<DWORD>(buffer.size());
    buffer.resize(256);
    if (!CryptEncrypt(context.key, 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size()))) {
        throw std::runtime_error("CryptEncrypt failed");
    }
    buffer.resize(length);
    std::reverse(buffer.begin(), buffer.end());
    return buffer;
}

#else

namespace {

using KeyContext = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;

KeyContext contextFor(const Bytes& certificate)
{
    const unsigned char* p = certificate.data();
    std::unique_ptr<X509, decltype(&X509_free)> x509(d2i_X509(nullptr, &p, static_cast<long>(certificate.size())),
                                                     X509_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(x509 ? X509_get_pubkey(x509.get()) : nullptr,
                                                            EVP_PKEY_free);
    if (!key)
        throw std::runtime_error("certificate without a readable public key");
    return KeyContext(EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
}

const EVP_MD* mdOf(Hash hash)
{
    return hash == Hash::Sha1 ? EVP_sha1() : EVP_md5();
}

} // namespace

Bytes digestOf(Hash hash, const Bytes& data)
{
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &length, mdOf(hash), nullptr) != 1) {
        throw std::runtime_error("EVP_Digest failed");
    }
    digest.resize(length);
    return digest;
}

bool verifies(const Bytes& certificate, Hash hash, const Bytes& digest, const Bytes& littleEndianSignature)
{
    KeyContext ctx = contextFor(certificate);
    Bytes signature(littleEndianSignature.rbegin(), littleEndianSignature.rend());
    return EVP_PKEY_verify_init(ctx.get()) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
           EVP_PKEY_CTX_set_signature_md(ctx.get(), mdOf(hash)) == 1 &&
           EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest.data(), digest.size()) == 1;
}

Bytes wrapBigEndian(const Bytes& certificate, const Bytes& plain)
{
    KeyContext ctx = contextFor(certificate);
    std::size_t length = 0;
    if (EVP_PKEY_encrypt_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_encrypt(ctx.get(), nullptr, &length, plain.data(), plain.size()) != 1) {
        throw std::runtime_error("EVP_PKEY_encrypt setup failed");
    }
    Bytes wrapped(length);
    if (EVP_PKEY_encrypt(ctx.get(), wrapped.data(), &length, plain.data(), plain.size()) != 1) {
        throw std::runtime_error("EVP_PKEY_encrypt failed");
    }
    wrapped.resize(length);
    return wrapped;
}

#endif

} // namespace IndependentCrypto
