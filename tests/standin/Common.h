// Small helpers shared by the stand-in's sources: wiped buffers, OpenSSL ownership, text conversion.
#ifndef ORV_PLATFORM_COMMON_H
#define ORV_PLATFORM_COMMON_H

#include "platform/Win32.h"
#include "platform/linux/Failure.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace orv::platform {

// Allocator that overwrites memory before giving it back, for key material.
template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&)
    {
    }
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n)
    {
        OPENSSL_cleanse(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const
    {
        return true;
    }
    template <typename U>
    bool operator!=(const WipingAllocator<U>&) const
    {
        return false;
    }
};

using SecureBytes = std::vector<BYTE, WipingAllocator<BYTE>>;
using Bytes = std::vector<BYTE>;

// A unique_ptr deleter that calls OpenSSL's own free function.
template <auto kFree>
struct FreeWith {
    template <typename T>
    void operator()(T* p) const
    {
        kFree(p);
    }
};

using PkeyPtr = std::unique_ptr<EVP_PKEY, FreeWith<EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, FreeWith<EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, FreeWith<EVP_MD_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, FreeWith<X509_free>>;
using BioPtr = std::unique_ptr<BIO, FreeWith<BIO_free>>;
using BnPtr = std::unique_ptr<BIGNUM, FreeWith<BN_clear_free>>;

// Shared ownership of a key, so handles can outlive the call that made them.
using SharedPkey = std::shared_ptr<EVP_PKEY>;
inline SharedPkey sharePkey(PkeyPtr key)
{
    return SharedPkey(key.release(), FreeWith<EVP_PKEY_free>());
}

// ASCII case folding, as the registry and window titles compare names.
bool equalsIgnoreCase(const std::string& a, const std::string& b);
std::string toUpperAscii(std::string s);

// wchar_t strings (UTF-32 here) and UTF-8.
std::string wideToUtf8(const wchar_t* s);
std::wstring utf8ToWide(const std::string& s);
// UTF-16LE bytes to UTF-8; false on odd length or broken surrogates.
bool utf16leToUtf8(const BYTE* data, std::size_t size, std::string& out);

std::string hexString(const BYTE* data, std::size_t size);

} // namespace orv::platform

#endif
