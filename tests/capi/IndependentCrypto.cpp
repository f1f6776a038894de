#include "IndependentCrypto.h"

#include <algorithm>
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

struct VerifyContext {
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    PCCERT_CONTEXT certificate = nullptr;

    explicit VerifyContext(const Bytes* certificateBytes)
    {
        if (!CryptAcquireContextA(&provider, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
            throw std::runtime_error("CryptAcquireContextA(CRYPT_VERIFYCONTEXT) failed");
        }
        if (certificateBytes == nullptr) {
            return;
        }
        certificate = CertCreateCertificateContext(X509_ASN_ENCODING, certificateBytes->data(),
                                                   static_cast<DWORD>(certificateBytes->size()));
        if (certificate == nullptr || !CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING,
                                                                &certificate->pCertInfo->SubjectPublicKeyInfo, &key)) {
            throw std::runtime_error("importing the certificate's public key failed");
        }
    }
    ~VerifyContext()
    {
        if (key != 0)
            CryptDestroyKey(key);
        if (certificate != nullptr)
            CertFreeCertificateContext(certificate);
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
    HCRYPTHASH h = 0;
    Bytes digest(hash == Hash::Sha1 ? 20 : 16);
    DWORD length = static_cast<DWORD>(digest.size());
    const bool ok = CryptCreateHash(context.provider, algorithmOf(hash), 0, 0, &h) &&
                    CryptHashData(h, data.data(), static_cast<DWORD>(data.size()), 0) &&
                    CryptGetHashParam(h, HP_HASHVAL, digest.data(), &length, 0);
    if (h != 0)
        CryptDestroyHash(h);
    if (!ok)
        throw std::runtime_error("hashing failed");
    return digest;
}

bool verifies(const Bytes& certificate, Hash hash, const Bytes& digest, const Bytes& littleEndianSignature)
{
    VerifyContext context(&certificate);
    HCRYPTHASH h = 0;
    const bool ok = CryptCreateHash(context.provider, algorithmOf(hash), 0, 0, &h) &&
                    CryptSetHashParam(h, HP_HASHVAL, digest.data(), 0) &&
                    CryptVerifySignatureA(h, littleEndianSignature.data(),
                                          static_cast<DWORD>(littleEndianSignature.size()), context.key, nullptr, 0);
    if (h != 0)
        CryptDestroyHash(h);
    return ok;
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

struct PublicKey {
    EVP_PKEY* key = nullptr;
    explicit PublicKey(const Bytes& certificate)
    {
        const unsigned char* p = certificate.data();
        X509* x509 = d2i_X509(nullptr, &p, static_cast<long>(certificate.size()));
        if (x509 != nullptr) {
            key = X509_get_pubkey(x509);
            X509_free(x509);
        }
        if (key == nullptr)
            throw std::runtime_error("certificate without a readable public key");
    }
    ~PublicKey() { EVP_PKEY_free(key); }
};

struct KeyContext {
    EVP_PKEY_CTX* ctx;
    explicit KeyContext(EVP_PKEY* key) : ctx(EVP_PKEY_CTX_new(key, nullptr)) {}
    ~KeyContext() { EVP_PKEY_CTX_free(ctx); }
};

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
    PublicKey key(certificate);
    KeyContext context(key.key);
    Bytes signature(littleEndianSignature.rbegin(), littleEndianSignature.rend());
    return EVP_PKEY_verify_init(context.ctx) == 1 &&
           EVP_PKEY_CTX_set_rsa_padding(context.ctx, RSA_PKCS1_PADDING) == 1 &&
           EVP_PKEY_CTX_set_signature_md(context.ctx, mdOf(hash)) == 1 &&
           EVP_PKEY_verify(context.ctx, signature.data(), signature.size(), digest.data(), digest.size()) == 1;
}

Bytes wrapBigEndian(const Bytes& certificate, const Bytes& plain)
{
    PublicKey key(certificate);
    KeyContext context(key.key);
    std::size_t length = 0;
    if (EVP_PKEY_encrypt_init(context.ctx) != 1 || EVP_PKEY_CTX_set_rsa_padding(context.ctx, RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_encrypt(context.ctx, nullptr, &length, plain.data(), plain.size()) != 1) {
        throw std::runtime_error("EVP_PKEY_encrypt setup failed");
    }
    Bytes wrapped(length);
    if (EVP_PKEY_encrypt(context.ctx, wrapped.data(), &length, plain.data(), plain.size()) != 1) {
        throw std::runtime_error("EVP_PKEY_encrypt failed");
    }
    wrapped.resize(length);
    return wrapped;
}

#endif

} // namespace IndependentCrypto
