// RSA keys to and from CryptoAPI's PUBLICKEYBLOB and PRIVATEKEYBLOB layouts.
#include "tests/standin/KeyBlob.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/param_build.h>
#include <openssl/params.h>

#include <cstring>

namespace orv::platform {
namespace {

constexpr std::size_t kHeaderSize = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);

struct ParamBldFree {
    void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
};
// Numbers built from secure BIGNUMs land in the builder's secure block,
// which OSSL_PARAM_free wipes.
struct ParamsFree {
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};

DWORD readDword(const BYTE* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24);
}

void writeHeader(BYTE* out, BYTE type, ALG_ID algorithm, DWORD magic, DWORD bits, DWORD exponent)
{
    BLOBHEADER header{type, CUR_BLOB_VERSION, 0, algorithm};
    RSAPUBKEY rsa{magic, bits, exponent};
    std::memcpy(out, &header, sizeof header);
    std::memcpy(out + sizeof header, &rsa, sizeof rsa);
}

// One little-endian number of `length` bytes, read at `pos` and moved past.
BnPtr takeNumber(const BYTE* blob, std::size_t& pos, std::size_t length)
{
    BnPtr n(BN_secure_new());
    if (n && BN_lebin2bn(blob + pos, static_cast<int>(length), n.get()) == nullptr) {
        n.reset();
    }
    pos += length;
    return n;
}

PkeyPtr buildRsaKey(const std::vector<std::pair<const char*, BIGNUM*>>& parts, bool isPrivate)
{
    std::unique_ptr<OSSL_PARAM_BLD, ParamBldFree> builder(OSSL_PARAM_BLD_new());
    if (!builder) {
        return nullptr;
    }
    for (const auto& part : parts) {
        if (part.second == nullptr || !OSSL_PARAM_BLD_push_BN(builder.get(), part.first, part.second)) {
            return nullptr;
        }
    }
    std::unique_ptr<OSSL_PARAM, ParamsFree> params(OSSL_PARAM_BLD_to_param(builder.get()));
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &key, isPrivate ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params.get()) <= 0) {
        return nullptr;
    }
    return PkeyPtr(key);
}

bool keyIsConsistent(EVP_PKEY* key)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    return ctx && EVP_PKEY_check(ctx.get()) == 1;
}

BnPtr getNumber(EVP_PKEY* key, const char* name)
{
    BIGNUM* n = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &n) != 1) {
        return nullptr;
    }
    return BnPtr(n);
}

bool putNumber(const BIGNUM* n, BYTE* out, std::size_t length)
{
    return n != nullptr && BN_bn2lebinpad(n, out, static_cast<int>(length)) == static_cast<int>(length);
}

} // namespace

DWORD rsaModulusBytes(EVP_PKEY* key)
{
    if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        return 0;
    }
    return static_cast<DWORD>(EVP_PKEY_get_size(key));
}

LONG rsaKeyFromBlob(const BYTE* blob, DWORD size, ImportedKey& out)
{
    if (blob == nullptr || size < kHeaderSize) {
        return NTE_BAD_DATA;
    }
    BLOBHEADER header;
    std::memcpy(&header, blob, sizeof header);
    if (header.bType != PUBLICKEYBLOB && header.bType != PRIVATEKEYBLOB) {
        return NTE_BAD_TYPE;
    }
    if (header.bVersion != CUR_BLOB_VERSION) {
        return NTE_BAD_VER;
    }
    if (header.aiKeyAlg != CALG_RSA_KEYX && header.aiKeyAlg != CALG_RSA_SIGN) {
        return NTE_BAD_ALGID;
    }
    bool isPrivate = header.bType == PRIVATEKEYBLOB;
    DWORD magic = readDword(blob + 8), bits = readDword(blob + 12), exponent = readDword(blob + 16);
    if (magic != (isPrivate ? kRsaPrivateMagic : kRsaPublicMagic)) {
        return NTE_BAD_DATA;
    }
    if (bits < 384 || bits > 16384 || bits % 16 != 0 || exponent == 0) {
        return NTE_BAD_DATA;
    }
    std::size_t full = bits / 8, half = bits / 16;
    std::size_t needed = kHeaderSize + full + (isPrivate ? 5 * half + full : 0);
    if (size < needed) {
        return NTE_BAD_DATA;
    }

    std::size_t pos = kHeaderSize;
    BnPtr e(BN_new());
    if (!e || !BN_set_word(e.get(), exponent)) {
        return NTE_NO_MEMORY;
    }
    BnPtr n = takeNumber(blob, pos, full);
    std::vector<std::pair<const char*, BIGNUM*>> parts = {{OSSL_PKEY_PARAM_RSA_N, n.get()},
                                                          {OSSL_PKEY_PARAM_RSA_E, e.get()}};
    BnPtr p, q, dp, dq, qinv, d;
    if (isPrivate) {
        p = takeNumber(blob, pos, half);
        q = takeNumber(blob, pos, half);
        dp = takeNumber(blob, pos, half);
        dq = takeNumber(blob, pos, half);
        qinv = takeNumber(blob, pos, half);
        d = takeNumber(blob, pos, full);
        parts.insert(parts.end(), {{OSSL_PKEY_PARAM_RSA_D, d.get()},
                                   {OSSL_PKEY_PARAM_RSA_FACTOR1, p.get()},
                                   {OSSL_PKEY_PARAM_RSA_FACTOR2, q.get()},
                                   {OSSL_PKEY_PARAM_RSA_EXPONENT1, dp.get()},
                                   {OSSL_PKEY_PARAM_RSA_EXPONENT2, dq.get()},
                                   {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, qinv.get()}});
    }
    PkeyPtr key = buildRsaKey(parts, isPrivate);
    bool usable = key && (!isPrivate || keyIsConsistent(key.get()));
    ERR_clear_error();
    if (!usable) {
        return NTE_BAD_DATA;
    }
    out.key = std::move(key);
    out.algorithm = header.aiKeyAlg;
    out.isPrivate = isPrivate;
    return 0;
}

LONG rsaKeyFromBcryptBlob(const BYTE* blob, DWORD size, PkeyPtr& out)
{
    BCRYPT_RSAKEY_BLOB header;
    if (blob == nullptr || size < sizeof header) {
        return NTE_BAD_DATA;
    }
    std::memcpy(&header, blob, sizeof header);
    if (header.Magic != BCRYPT_RSAPRIVATE_MAGIC) {
        return NTE_BAD_DATA;
    }
    const std::size_t lengths[] = {header.cbPublicExp, header.cbModulus, header.cbPrime1, header.cbPrime2};
    std::size_t needed = sizeof header;
    for (std::size_t length : lengths) {
        if (length == 0 || length > 2048) {
            return NTE_BAD_DATA;
        }
        needed += length;
    }
    if (size < needed) {
        return NTE_BAD_DATA;
    }

    std::size_t pos = sizeof header;
    BnPtr numbers[4];
    for (int i = 0; i < 4; ++i) {
        numbers[i].reset(BN_secure_new());
        if (!numbers[i] || !BN_bin2bn(blob + pos, static_cast<int>(lengths[i]), numbers[i].get())) {
            return NTE_NO_MEMORY;
        }
        pos += lengths[i];
    }
    BIGNUM *e = numbers[0].get(), *n = numbers[1].get(), *p = numbers[2].get(), *q = numbers[3].get();
    std::unique_ptr<BN_CTX, void (*)(BN_CTX*)> ctx(BN_CTX_secure_new(), BN_CTX_free);
    BnPtr p1(BN_secure_new()), q1(BN_secure_new()), phi(BN_secure_new()), d(BN_secure_new()), dp(BN_secure_new()),
        dq(BN_secure_new()), qinv(BN_secure_new());
    bool derived = ctx && p1 && q1 && phi && d && dp && dq && qinv && BN_sub(p1.get(), p, BN_value_one()) &&
                   BN_sub(q1.get(), q, BN_value_one()) && BN_mul(phi.get(), p1.get(), q1.get(), ctx.get()) &&
                   BN_mod_inverse(d.get(), e, phi.get(), ctx.get()) && BN_mod(dp.get(), d.get(), p1.get(), ctx.get()) &&
                   BN_mod(dq.get(), d.get(), q1.get(), ctx.get()) && BN_mod_inverse(qinv.get(), q, p, ctx.get());
    if (!derived) {
        ERR_clear_error();
        return NTE_BAD_DATA;
    }
    PkeyPtr key = buildRsaKey({{OSSL_PKEY_PARAM_RSA_N, n},
                               {OSSL_PKEY_PARAM_RSA_E, e},
                               {OSSL_PKEY_PARAM_RSA_D, d.get()},
                               {OSSL_PKEY_PARAM_RSA_FACTOR1, p},
                               {OSSL_PKEY_PARAM_RSA_FACTOR2, q},
                               {OSSL_PKEY_PARAM_RSA_EXPONENT1, dp.get()},
                               {OSSL_PKEY_PARAM_RSA_EXPONENT2, dq.get()},
                               {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, qinv.get()}},
                              true);
    bool usable = key && keyIsConsistent(key.get());
    ERR_clear_error();
    if (!usable) {
        return NTE_BAD_DATA;
    }
    out = std::move(key);
    return 0;
}

bool rsaPublicKeyBlob(EVP_PKEY* key, ALG_ID algorithm, Bytes& out)
{
    DWORD full = rsaModulusBytes(key);
    BnPtr n = getNumber(key, OSSL_PKEY_PARAM_RSA_N), e = getNumber(key, OSSL_PKEY_PARAM_RSA_E);
    if (full == 0 || !n || !e || BN_num_bytes(e.get()) > 4) {
        return false;
    }
    out.assign(kHeaderSize + full, 0);
    writeHeader(out.data(), PUBLICKEYBLOB, algorithm, kRsaPublicMagic, full * 8,
                static_cast<DWORD>(BN_get_word(e.get())));
    return putNumber(n.get(), out.data() + kHeaderSize, full);
}

bool rsaPrivateKeyBlob(EVP_PKEY* key, ALG_ID algorithm, SecureBytes& out)
{
    DWORD full = rsaModulusBytes(key), half = full / 2;
    if (full == 0 || full % 2 != 0) {
        return false;
    }
    const char* names[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                           OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                           OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1,
                           OSSL_PKEY_PARAM_RSA_D};
    const std::size_t lengths[] = {full, half, half, half, half, half, full};
    BnPtr e = getNumber(key, OSSL_PKEY_PARAM_RSA_E);
    if (!e || BN_num_bytes(e.get()) > 4) {
        return false;
    }
    out.assign(kHeaderSize + full + 5 * half + full, 0);
    writeHeader(out.data(), PRIVATEKEYBLOB, algorithm, kRsaPrivateMagic, full * 8,
                static_cast<DWORD>(BN_get_word(e.get())));
    std::size_t pos = kHeaderSize;
    for (std::size_t i = 0; i < 7; ++i) {
        BnPtr number = getNumber(key, names[i]);
        if (!putNumber(number.get(), out.data() + pos, lengths[i])) {
            out.clear();
            return false;
        }
        pos += lengths[i];
    }
    return true;
}

} // namespace orv::platform
