// Helpers for the stand-in's tests: a private state directory per test and
// certificates/keys made with OpenSSL, independently of the code under test.
#ifndef ORV_TESTS_PLATFORM_TEST_SUPPORT_H
#define ORV_TESTS_PLATFORM_TEST_SUPPORT_H

#include "platform/Win32.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The call gives `failed` and leaves `error` as the thread's last error.
#define ORV_EXPECT_ERROR(failed, call, error)                                                                          \
    do {                                                                                                               \
        EXPECT_EQ(failed, call);                                                                                       \
        EXPECT_EQ(static_cast<DWORD>(error), GetLastError());                                                          \
    } while (0)
#define ORV_EXPECT_FAILS(call, error) ORV_EXPECT_ERROR(FALSE, call, error)

namespace orvtest {

using Bytes = std::vector<BYTE>;

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using Cert = std::unique_ptr<X509, X509Free>;

// Points ORV_WIN32_ROOT at a fresh directory for the test's lifetime.
class StateRootTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/orv-platform-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root_ = pattern;
        setenv("ORV_WIN32_ROOT", root_.c_str(), 1);
    }
    void TearDown() override
    {
        EXPECT_EQ(0, std::system(("rm -rf '" + root_ + "'").c_str()));
        unsetenv("ORV_WIN32_ROOT");
    }
    const std::string& root() const { return root_; }
    std::string writeFile(const std::string& name, const std::string& content) const
    {
        std::string path = root_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

private:
    std::string root_;
};

inline Pkey makeRsaKey(int bits = 1024)
{
    return Pkey(EVP_RSA_gen(static_cast<unsigned>(bits)));
}

inline Cert makeCertificate(EVP_PKEY* key, const std::string& commonName, long serial,
                            const std::string& issuerName = "Test CA")
{
    Cert cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
    X509_NAME* subject = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_NAME* issuer = X509_get_issuer_name(cert.get());
    X509_NAME_add_entry_by_txt(issuer, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(issuerName.c_str()),
                               -1, -1, 0);
    X509_set_pubkey(cert.get(), key);
    X509_sign(cert.get(), key, EVP_sha256());
    return cert;
}

inline Bytes derOf(X509* cert)
{
    Bytes der(static_cast<std::size_t>(i2d_X509(cert, nullptr)));
    unsigned char* p = der.data();
    i2d_X509(cert, &p);
    return der;
}

// Owns a handle and frees it with kFree when it goes.
template <class H, auto kFree>
struct Owned {
    explicit Owned(H h = H()) : handle(h) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }
    void reset()
    {
        if (handle != H())
            kFree(handle);
        handle = H();
    }
    H handle;
};

// Runs body(t) for t in [0, count) on threads of their own and waits for all.
template <class F>
void onThreads(std::size_t count, F body)
{
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < count; ++t)
        threads.emplace_back(body, t);
    for (std::thread& thread : threads)
        thread.join();
}

inline Bytes sha1Of(const std::string& text)
{
    Bytes digest(20);
    EVP_Digest(text.data(), text.size(), digest.data(), nullptr, EVP_sha1(), nullptr);
    return digest;
}

// PKCS#1 v1.5 verification of a big-endian signature over `digest`.
inline bool verifies(EVP_PKEY* key, const EVP_MD* md, const Bytes& digest, const Bytes& bigEndianSignature)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    return ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
           EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
           EVP_PKEY_CTX_set_signature_md(ctx.get(), md) == 1 &&
           EVP_PKEY_verify(ctx.get(), bigEndianSignature.data(), bigEndianSignature.size(), digest.data(),
                           digest.size()) == 1;
}

// PKCS#1 v1.5 encryption to `key`, big-endian.
inline Bytes encryptTo(EVP_PKEY* key, const Bytes& plain)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    std::size_t length = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    Bytes cipher(length);
    EXPECT_EQ(1, EVP_PKEY_encrypt_init(ctx.get()));
    EXPECT_EQ(1, EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING));
    EXPECT_EQ(1, EVP_PKEY_encrypt(ctx.get(), cipher.data(), &length, plain.data(), plain.size()));
    cipher.resize(length);
    return cipher;
}

inline PCCERT_CONTEXT decode(const Bytes& der)
{
    return CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
}

inline Bytes reversed(Bytes bytes)
{
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

// PRIVATEKEYBLOB built here from OpenSSL's numbers, independently of the
// stand-in's own conversion.
inline Bytes privateKeyBlob(EVP_PKEY* key, ALG_ID algorithm)
{
    auto number = [&](const char* name) {
        BIGNUM* n = nullptr;
        EVP_PKEY_get_bn_param(key, name, &n);
        return n;
    };
    int bits = EVP_PKEY_get_bits(key), full = bits / 8, half = bits / 16;
    Bytes blob = {PRIVATEKEYBLOB, CUR_BLOB_VERSION, 0, 0};
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            blob.push_back(static_cast<BYTE>(v >> (8 * i)));
    };
    put32(algorithm);
    put32(0x32415352); // RSA2
    put32(static_cast<uint32_t>(bits));
    BIGNUM* e = number("e");
    put32(static_cast<uint32_t>(BN_get_word(e)));
    BN_free(e);
    const std::pair<const char*, int> parts[] = {{"n", full},
                                                 {"rsa-factor1", half},
                                                 {"rsa-factor2", half},
                                                 {"rsa-exponent1", half},
                                                 {"rsa-exponent2", half},
                                                 {"rsa-coefficient1", half},
                                                 {"d", full}};
    for (const auto& part : parts) {
        BIGNUM* n = number(part.first);
        std::size_t at = blob.size();
        blob.resize(at + static_cast<std::size_t>(part.second));
        BN_bn2lebinpad(n, blob.data() + at, part.second);
        BN_clear_free(n);
    }
    return blob;
}

} // namespace orvtest

#endif
