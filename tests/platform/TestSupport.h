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
#include <vector>

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
        std::string command = "rm -rf '" + root_ + "'";
        EXPECT_EQ(0, std::system(command.c_str()));
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
