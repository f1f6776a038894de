// Certificate contexts and system stores. Contexts are reference counted
// like Windows' (Duplicate/Free); every live context is registered so a
// stale or foreign pointer is refused rather than dereferenced. Stores keep
// their certificates in SHA-1 order, which is also the enumeration order.
#include "tests/standin/Certificates.h"
#include "tests/standin/StandInStores.h"

#include "tests/standin/Common.h"
#include "platform/linux/ContextTable.h"
#include "platform/linux/HandleTable.h"
#include "tests/standin/StateRoot.h"

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <unordered_map>

namespace orv::platform {
namespace {

const char kStoresDir[] = "stores";

struct KeyProvInfo {
    std::wstring container;
    std::wstring provider;
    DWORD provType = 0;
    DWORD flags = 0;
    DWORD keySpec = 0;
};

// ---- decoding -----------------------------------------------------------

// The content octets of one DER element.
Bytes derContent(const Bytes& der)
{
    if (der.size() < 2) {
        return {};
    }
    std::size_t pos = 1, length = der[pos++];
    if (length & 0x80) {
        std::size_t count = length & 0x7F;
        length = 0;
        for (std::size_t i = 0; i < count && pos < der.size(); ++i) {
            length = (length << 8) | der[pos++];
        }
    }
    if (pos + length > der.size()) {
        return {};
    }
    return Bytes(der.begin() + static_cast<long>(pos), der.begin() + static_cast<long>(pos + length));
}

template <typename T, typename Encoder>
Bytes encode(const T* object, Encoder encoder)
{
    if (object == nullptr) {
        return {};
    }
    int length = encoder(object, nullptr);
    if (length <= 0) {
        return {};
    }
    Bytes out(static_cast<std::size_t>(length));
    unsigned char* p = out.data();
    encoder(object, &p);
    return out;
}

// CryptoAPI keeps serial numbers little-endian, sign byte included.
Bytes serialLittleEndian(const X509* cert)
{
    Bytes der = encode(X509_get0_serialNumber(cert),
                       [](const ASN1_INTEGER* i, unsigned char** p) { return i2d_ASN1_INTEGER(i, p); });
    Bytes content = derContent(der);
    std::reverse(content.begin(), content.end());
    return content;
}

// Serial numbers compare as integers: high zero bytes do not count.
Bytes trimmedSerial(const BYTE* data, DWORD size)
{
    Bytes serial(data, data + size);
    while (serial.size() > 1 && serial.back() == 0) {
        serial.pop_back();
    }
    return serial;
}

Bytes nameDer(const X509_NAME* name)
{
    return encode(name, [](const X509_NAME* n, unsigned char** p) { return i2d_X509_NAME(n, p); });
}

std::string oidText(const ASN1_OBJECT* object)
{
    char buffer[128] = {0};
    OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    return buffer;
}

FILETIME toFileTime(const ASN1_TIME* time)
{
    struct tm parts {};
    FILETIME result{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return result;
    }
    int64_t seconds = timegm(&parts);
    uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600ll) * 10000000ull;
    result.dwLowDateTime = static_cast<DWORD>(ticks);
    result.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return result;
}

Bytes sha1Of(const Bytes& data)
{
    Bytes digest(SHA_DIGEST_LENGTH);
    SHA1(data.data(), data.size(), digest.data());
    return digest;
}

// Decodes exactly one certificate; the ASN.1 error Windows gives otherwise.
LONG decodeCertificate(DWORD encodingType, const BYTE* data, DWORD size, X509Ptr& cert, Bytes& encoded)
{
    if ((encodingType & X509_ASN_ENCODING) == 0) {
        return E_INVALIDARG;
    }
    if (data == nullptr || size == 0) {
        return CRYPT_E_ASN1_EOD;
    }
    const unsigned char* p = data;
    cert.reset(d2i_X509(nullptr, &p, static_cast<long>(size)));
    ERR_clear_error();
    if (!cert) {
        return CRYPT_E_ASN1_BADTAG;
    }
    encoded.assign(data, p);
    return 0;
}

// ---- contexts -----------------------------------------------------------

class Store;

// One CERT_CONTEXT with the storage its pointers refer to. Built once and
// never resized, so the pointers stay valid for the context's life.
struct CertImpl {
    CERT_CONTEXT context{};
    CERT_INFO info{};
    int references = 1;
    Bytes encoded, sha1, serial, issuer, subject, signatureParameters, keyParameters, publicKey;
    Bytes issuerUid, subjectUid;
    std::string signatureOid, keyOid;
    std::vector<std::string> extensionOids;
    std::vector<Bytes> extensionValues;
    std::vector<CERT_EXTENSION> extensions;
    std::shared_ptr<Store> store;           // null for a context of its own
    std::optional<KeyProvInfo> ownProvInfo; // properties of such a context
};

void setBlob(CRYPT_INTEGER_BLOB& blob, Bytes& bytes)
{
    blob.cbData = static_cast<DWORD>(bytes.size());
    blob.pbData = bytes.empty() ? nullptr : bytes.data();
}

void setBits(CRYPT_BIT_BLOB& blob, Bytes& bytes, DWORD unused)
{
    blob.cbData = static_cast<DWORD>(bytes.size());
    blob.pbData = bytes.empty() ? nullptr : bytes.data();
    blob.cUnusedBits = unused;
}

Bytes bitStringBytes(const ASN1_BIT_STRING* bits, DWORD& unused)
{
    unused = 0;
    if (bits == nullptr) {
        return {};
    }
    if (bits->flags & ASN1_STRING_FLAG_BITS_LEFT) {
        unused = static_cast<DWORD>(bits->flags & 0x07);
    }
    return Bytes(bits->data, bits->data + bits->length);
}

Bytes algorithmParameters(const X509_ALGOR* algorithm, std::string& oid)
{
    const ASN1_OBJECT* object = nullptr;
    int type = 0;
    const void* value = nullptr;
    X509_ALGOR_get0(&object, &type, &value, algorithm);
    oid = oidText(object);
    if (type == V_ASN1_UNDEF) {
        return {};
    }
    ASN1_TYPE* parameter = ASN1_TYPE_new();
    if (parameter == nullptr) {
        return {};
    }
    ASN1_TYPE_set1(parameter, type, value);
    Bytes der = encode(parameter, [](const ASN1_TYPE* t, unsigned char** p) { return i2d_ASN1_TYPE(t, p); });
    ASN1_TYPE_free(parameter);
    return der;
}

void fillExtensions(CertImpl& impl, const X509* cert)
{
    int count = X509_get_ext_count(cert);
    for (int i = 0; i < count; ++i) {
        X509_EXTENSION* extension = X509_get_ext(cert, i);
        const ASN1_OCTET_STRING* data = X509_EXTENSION_get_data(extension);
        impl.extensionOids.push_back(oidText(X509_EXTENSION_get_object(extension)));
        impl.extensionValues.emplace_back(data->data, data->data + data->length);
    }
    impl.extensions.resize(impl.extensionOids.size());
    for (std::size_t i = 0; i < impl.extensions.size(); ++i) {
        CERT_EXTENSION& out = impl.extensions[i];
        out.pszObjId = impl.extensionOids[i].data();
        out.fCritical = X509_EXTENSION_get_critical(X509_get_ext(cert, static_cast<int>(i))) ? TRUE : FALSE;
        setBlob(out.Value, impl.extensionValues[i]);
    }
    impl.info.cExtension = static_cast<DWORD>(impl.extensions.size());
    impl.info.rgExtension = impl.extensions.empty() ? nullptr : impl.extensions.data();
}

std::unique_ptr<CertImpl> buildContext(const X509* cert, const Bytes& encoded)
{
    auto impl = std::make_unique<CertImpl>();
    impl->encoded = encoded;
    impl->sha1 = sha1Of(encoded);
    impl->serial = serialLittleEndian(cert);
    impl->issuer = nameDer(X509_get_issuer_name(cert));
    impl->subject = nameDer(X509_get_subject_name(cert));
    impl->signatureParameters = algorithmParameters(X509_get0_tbs_sigalg(cert), impl->signatureOid);
    X509_PUBKEY* publicKey = X509_get_X509_PUBKEY(cert);
    X509_ALGOR* keyAlgorithm = nullptr;
    X509_PUBKEY_get0_param(nullptr, nullptr, nullptr, &keyAlgorithm, publicKey);
    if (keyAlgorithm != nullptr) {
        impl->keyParameters = algorithmParameters(keyAlgorithm, impl->keyOid);
    }
    DWORD keyUnused = 0, issuerUnused = 0, subjectUnused = 0;
    impl->publicKey = bitStringBytes(X509_get0_pubkey_bitstr(cert), keyUnused);
    const ASN1_BIT_STRING *issuerUid = nullptr, *subjectUid = nullptr;
    X509_get0_uids(cert, &issuerUid, &subjectUid);
    impl->issuerUid = bitStringBytes(issuerUid, issuerUnused);
    impl->subjectUid = bitStringBytes(subjectUid, subjectUnused);

    CERT_INFO& info = impl->info;
    info.dwVersion = static_cast<DWORD>(X509_get_version(cert));
    setBlob(info.SerialNumber, impl->serial);
    info.SignatureAlgorithm.pszObjId = impl->signatureOid.data();
    setBlob(info.SignatureAlgorithm.Parameters, impl->signatureParameters);
    setBlob(info.Issuer, impl->issuer);
    setBlob(info.Subject, impl->subject);
    info.NotBefore = toFileTime(X509_get0_notBefore(cert));
    info.NotAfter = toFileTime(X509_get0_notAfter(cert));
    info.SubjectPublicKeyInfo.Algorithm.pszObjId = impl->keyOid.data();
    setBlob(info.SubjectPublicKeyInfo.Algorithm.Parameters, impl->keyParameters);
    setBits(info.SubjectPublicKeyInfo.PublicKey, impl->publicKey, keyUnused);
    setBits(info.IssuerUniqueId, impl->issuerUid, issuerUnused);
    setBits(info.SubjectUniqueId, impl->subjectUid, subjectUnused);
    fillExtensions(*impl, cert);

    impl->context.dwCertEncodingType = X509_ASN_ENCODING;
    impl->context.pbCertEncoded = impl->encoded.data();
    impl->context.cbCertEncoded = static_cast<DWORD>(impl->encoded.size());
    impl->context.pCertInfo = &impl->info;
    return impl;
}

// Every live context, by the pointer handed out, with its reference count.
ContextTable<CertImpl>& liveContexts()
{
    static ContextTable<CertImpl> live;
    return live;
}

PCCERT_CONTEXT registerContext(std::unique_ptr<CertImpl> impl)
{
    return liveContexts().add(std::move(impl));
}

// The context behind a pointer, or null for one that is not (any more) live.
CertImpl* lookupContext(PCCERT_CONTEXT context, std::unique_lock<std::mutex>& guard)
{
    return liveContexts().find(context, guard);
}

bool releaseContext(PCCERT_CONTEXT context)
{
    return liveContexts().adjust(context, -1);
}

// ---- key provider information --------------------------------------------

DWORD keyProvInfoSize(const KeyProvInfo& info)
{
    return static_cast<DWORD>(sizeof(CRYPT_KEY_PROV_INFO) +
                              (info.container.size() + 1 + info.provider.size() + 1) * sizeof(wchar_t));
}

// One block, strings after the structure, as Windows returns it.
void writeKeyProvInfo(const KeyProvInfo& info, BYTE* out)
{
    auto* header = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(out);
    auto* strings = reinterpret_cast<wchar_t*>(out + sizeof(CRYPT_KEY_PROV_INFO));
    std::memset(header, 0, sizeof *header);
    header->pwszContainerName = strings;
    std::wmemcpy(strings, info.container.c_str(), info.container.size() + 1);
    strings += info.container.size() + 1;
    header->pwszProvName = strings;
    std::wmemcpy(strings, info.provider.c_str(), info.provider.size() + 1);
    header->dwProvType = info.provType;
    header->dwFlags = info.flags;
    header->dwKeySpec = info.keySpec;
}

std::string serializeKeyProvInfo(const KeyProvInfo& info)
{
    std::ostringstream out;
    out << "container=" << encodeName(wideToUtf8(info.container.c_str())) << '\n'
        << "provider=" << encodeName(wideToUtf8(info.provider.c_str())) << '\n'
        << "provtype=" << info.provType << '\n'
        << "flags=" << info.flags << '\n'
        << "keyspec=" << info.keySpec << '\n';
    return out.str();
}

std::optional<KeyProvInfo> parseKeyProvInfo(const Bytes& text)
{
    KeyProvInfo info;
    std::istringstream in(std::string(text.begin(), text.end()));
    std::string line;
    int fields = 0;
    while (std::getline(in, line)) {
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        ++fields;
        if (key == "container") {
            info.container = utf8ToWide(decodeName(value));
        } else if (key == "provider") {
            info.provider = utf8ToWide(decodeName(value));
        } else if (key == "provtype") {
            info.provType = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (key == "flags") {
            info.flags = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (key == "keyspec") {
            info.keySpec = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else {
            --fields;
        }
    }
    if (fields < 5) {
        return std::nullopt;
    }
    return info;
}

// ---- stores ----------------------------------------------------------------

struct StoreEntry {
    std::string sha1Hex;
    Bytes encoded;
    Bytes issuer;
    Bytes serial; // trimmed, little-endian
    std::optional<KeyProvInfo> provInfo;
};

class Store {
public:
    explicit Store(std::string name) : name_(std::move(name)) {}

    void load();
    std::string directory() const { return stateDir(std::string(kStoresDir) + "/" + encodeName(name_), false); }

    template <typename Match>
    std::optional<Bytes> nextAfter(const std::string& previousSha1, Match match)
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const StoreEntry& entry : entries_) {
            if (entry.sha1Hex > previousSha1 && match(entry)) {
                return entry.encoded;
            }
        }
        return std::nullopt;
    }

    // Adds per disposition; the stored encoding on success.
    LONG add(const X509* cert, const Bytes& encoded, DWORD disposition, Bytes& stored);
    bool remove(const std::string& sha1Hex);
    std::optional<KeyProvInfo> provInfo(const std::string& sha1Hex);
    LONG setProvInfo(const std::string& sha1Hex, const std::optional<KeyProvInfo>& info, bool persist);

private:
    StoreEntry* find(const std::string& sha1Hex);
    std::string filePath(const std::string& sha1Hex, const char* suffix) const
    {
        return directory() + "/" + sha1Hex + suffix;
    }

    std::string name_;
    std::mutex lock_;
    std::vector<StoreEntry> entries_; // ordered by sha1Hex
};

StoreEntry makeEntry(const X509* cert, const Bytes& encoded)
{
    Bytes serial = serialLittleEndian(cert);
    Bytes digest = sha1Of(encoded);
    return StoreEntry{hexString(digest.data(), digest.size()), encoded, nameDer(X509_get_issuer_name(cert)),
                      trimmedSerial(serial.data(), static_cast<DWORD>(serial.size())), std::nullopt};
}

void Store::load()
{
    std::lock_guard<std::mutex> guard(lock_);
    std::string dir = directory();
    for (const std::string& file : listDir(dir)) {
        if (file.size() != 44 || file.compare(40, 4, ".der") != 0) {
            continue;
        }
        Bytes encoded;
        X509Ptr cert;
        Bytes exact;
        if (!readFile(dir + "/" + file, encoded) ||
            decodeCertificate(X509_ASN_ENCODING, encoded.data(), static_cast<DWORD>(encoded.size()), cert, exact) !=
                0) {
            continue; // a damaged file is skipped, as Windows skips bad store elements
        }
        StoreEntry entry = makeEntry(cert.get(), exact);
        Bytes sidecar;
        if (readFile(filePath(entry.sha1Hex, ".keyprov"), sidecar)) {
            entry.provInfo = parseKeyProvInfo(sidecar);
        }
        entries_.push_back(std::move(entry));
    }
    std::sort(entries_.begin(), entries_.end(),
              [](const StoreEntry& a, const StoreEntry& b) { return a.sha1Hex < b.sha1Hex; });
}

StoreEntry* Store::find(const std::string& sha1Hex)
{
    for (StoreEntry& entry : entries_) {
        if (entry.sha1Hex == sha1Hex) {
            return &entry;
        }
    }
    return nullptr;
}

LONG Store::add(const X509* cert, const Bytes& encoded, DWORD disposition, Bytes& stored)
{
    StoreEntry entry = makeEntry(cert, encoded);
    std::lock_guard<std::mutex> guard(lock_);
    StoreEntry* existing = find(entry.sha1Hex);
    if (existing != nullptr) {
        if (disposition == CERT_STORE_ADD_NEW) {
            return CRYPT_E_EXISTS;
        }
        if (disposition == CERT_STORE_ADD_USE_EXISTING) {
            stored = existing->encoded;
            return 0;
        }
        if (disposition == CERT_STORE_ADD_REPLACE_EXISTING_INHERIT_PROPERTIES) {
            entry.provInfo = existing->provInfo;
        }
    }
    std::string dir = directory();
    if (!makeDirs(dir) || !writeFileAtomic(filePath(entry.sha1Hex, ".der"), encoded.data(), encoded.size(), 0644)) {
        return ERROR_ACCESS_DENIED;
    }
    if (!entry.provInfo) {
        removeFile(filePath(entry.sha1Hex, ".keyprov"));
    }
    stored = entry.encoded;
    if (existing != nullptr) {
        *existing = std::move(entry);
    } else {
        auto position = std::lower_bound(entries_.begin(), entries_.end(), entry.sha1Hex,
                                         [](const StoreEntry& e, const std::string& key) { return e.sha1Hex < key; });
        entries_.insert(position, std::move(entry));
    }
    return 0;
}

bool Store::remove(const std::string& sha1Hex)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const StoreEntry& e) { return e.sha1Hex == sha1Hex; });
    if (it == entries_.end()) {
        return false;
    }
    entries_.erase(it);
    removeFile(filePath(sha1Hex, ".keyprov"));
    return removeFile(filePath(sha1Hex, ".der"));
}

std::optional<KeyProvInfo> Store::provInfo(const std::string& sha1Hex)
{
    std::lock_guard<std::mutex> guard(lock_);
    StoreEntry* entry = find(sha1Hex);
    return entry ? entry->provInfo : std::nullopt;
}

LONG Store::setProvInfo(const std::string& sha1Hex, const std::optional<KeyProvInfo>& info, bool persist)
{
    std::lock_guard<std::mutex> guard(lock_);
    StoreEntry* entry = find(sha1Hex);
    if (entry == nullptr) {
        return CRYPT_E_NOT_FOUND; // deleted from the store meanwhile
    }
    if (persist) {
        std::string path = filePath(sha1Hex, ".keyprov");
        if (info) {
            std::string text = serializeKeyProvInfo(*info);
            if (!writeFileAtomic(path, reinterpret_cast<const BYTE*>(text.data()), text.size(), 0644)) {
                return ERROR_ACCESS_DENIED;
            }
        } else if (!removeFile(path)) {
            return ERROR_ACCESS_DENIED;
        }
    }
    entry->provInfo = info;
    return 0;
}

HandleTable<Store>& storeHandles()
{
    static HandleTable<Store> table(0x400000);
    return table;
}

std::uintptr_t storeId(HCERTSTORE store)
{
    return reinterpret_cast<std::uintptr_t>(store);
}

PCCERT_CONTEXT newStoreContext(const Bytes& encoded, const std::shared_ptr<Store>& store, HCERTSTORE handle)
{
    X509Ptr cert;
    Bytes exact;
    if (decodeCertificate(X509_ASN_ENCODING, encoded.data(), static_cast<DWORD>(encoded.size()), cert, exact) != 0) {
        return failNull<const CERT_CONTEXT>(CRYPT_E_ASN1_BADTAG);
    }
    std::unique_ptr<CertImpl> impl = buildContext(cert.get(), exact);
    impl->store = store;
    impl->context.hCertStore = handle;
    return registerContext(std::move(impl));
}

// What a context needs for a store search, read under the registry lock.
bool contextFacts(PCCERT_CONTEXT context, std::string& sha1Hex, Bytes* encoded = nullptr,
                  std::shared_ptr<Store>* store = nullptr)
{
    std::unique_lock<std::mutex> guard;
    CertImpl* impl = lookupContext(context, guard);
    if (impl == nullptr) {
        return false;
    }
    sha1Hex = hexString(impl->sha1.data(), impl->sha1.size());
    if (encoded) {
        *encoded = impl->encoded;
    }
    if (store) {
        *store = impl->store;
    }
    return true;
}

using EntryMatch = std::function<bool(const StoreEntry&)>;

// Builds the predicate for a find type; false for an unknown type or missing parameter.
bool findPredicate(DWORD findType, const void* parameter, EntryMatch& match)
{
    switch (findType) {
    case CERT_FIND_ANY:
        match = [](const StoreEntry&) { return true; };
        return true;
    case CERT_FIND_EXISTING: {
        Bytes encoded;
        std::string sha1;
        if (parameter == nullptr || !contextFacts(static_cast<PCCERT_CONTEXT>(parameter), sha1, &encoded)) {
            return false;
        }
        match = [encoded](const StoreEntry& entry) { return entry.encoded == encoded; };
        return true;
    }
    case CERT_FIND_SUBJECT_CERT: {
        auto* info = static_cast<const CERT_INFO*>(parameter);
        if (info == nullptr || (info->Issuer.cbData > 0 && info->Issuer.pbData == nullptr) ||
            (info->SerialNumber.cbData > 0 && info->SerialNumber.pbData == nullptr)) {
            return false;
        }
        Bytes issuer(info->Issuer.pbData, info->Issuer.pbData + info->Issuer.cbData);
        Bytes serial = trimmedSerial(info->SerialNumber.pbData, info->SerialNumber.cbData);
        match = [issuer, serial](const StoreEntry& entry) { return entry.issuer == issuer && entry.serial == serial; };
        return true;
    }
    case CERT_FIND_SHA1_HASH: {
        auto* hash = static_cast<const CRYPT_HASH_BLOB*>(parameter);
        if (hash == nullptr || (hash->cbData > 0 && hash->pbData == nullptr)) {
            return false;
        }
        std::string wanted = hexString(hash->pbData, hash->cbData);
        match = [wanted](const StoreEntry& entry) { return entry.sha1Hex == wanted; };
        return true;
    }
    default:
        return false;
    }
}

// Shared by Find and Enum: the next matching certificate after `previous`,
// which is freed as Windows frees it.
PCCERT_CONTEXT nextInStore(HCERTSTORE handle, PCCERT_CONTEXT previous, const EntryMatch& match)
{
    std::shared_ptr<Store> store = storeHandles().find(storeId(handle));
    std::string after;
    if (previous != nullptr) {
        if (!contextFacts(previous, after)) {
            return failNull<const CERT_CONTEXT>(E_INVALIDARG);
        }
        releaseContext(previous);
    }
    if (!store) {
        return failNull<const CERT_CONTEXT>(E_INVALIDARG);
    }
    std::optional<Bytes> found = store->nextAfter(after, match);
    if (!found) {
        return failNull<const CERT_CONTEXT>(CRYPT_E_NOT_FOUND);
    }
    return newStoreContext(*found, store, handle);
}

std::optional<KeyProvInfo> keyProvInfoFromCaller(const CRYPT_KEY_PROV_INFO* in)
{
    KeyProvInfo info;
    info.container = in->pwszContainerName ? in->pwszContainerName : L"";
    info.provider = in->pwszProvName ? in->pwszProvName : L"";
    info.provType = in->dwProvType;
    info.flags = in->dwFlags;
    info.keySpec = in->dwKeySpec;
    return info;
}

BOOL copyProperty(const Bytes& value, void* data, DWORD* size)
{
    auto needed = static_cast<DWORD>(value.size());
    if (data == nullptr) {
        *size = needed;
        return TRUE;
    }
    if (*size < needed) {
        *size = needed;
        return fail(ERROR_MORE_DATA);
    }
    std::memcpy(data, value.data(), needed);
    *size = needed;
    return TRUE;
}

} // namespace

std::vector<std::string> storeNames()
{
    std::vector<std::string> names;
    for (const std::string& entry : listDir(stateDir(kStoresDir, false))) {
        names.push_back(decodeName(entry));
    }
    return names;
}

} // namespace orv::platform

std::size_t orv::standin::openStoreHandles()
{
    return orv::platform::storeHandles().size();
}

using namespace orv::platform;

extern "C" {

HCERTSTORE WINAPI CertOpenSystemStoreA(HCRYPTPROV_LEGACY, LPCSTR szSubsystemProtocol)
{
    if (szSubsystemProtocol == nullptr || szSubsystemProtocol[0] == '\0') {
        return failNull<void>(E_INVALIDARG);
    }
    // Store names are case-insensitive on Windows; "my" opens MY.
    auto store = std::make_shared<Store>(toUpperAscii(szSubsystemProtocol));
    store->load();
    return reinterpret_cast<HCERTSTORE>(storeHandles().add(std::move(store)));
}

BOOL WINAPI CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags)
{
    if (hCertStore == nullptr) {
        return TRUE;
    }
    std::shared_ptr<Store> store = storeHandles().remove(storeId(hCertStore));
    if (!store) {
        return fail(E_INVALIDARG);
    }
    // Contexts keep the store alive; CHECK asks to be told about them.
    if ((dwFlags & CERT_CLOSE_STORE_CHECK_FLAG) && store.use_count() > 1) {
        return fail(CRYPT_E_PENDING_CLOSE);
    }
    return TRUE;
}

PCCERT_CONTEXT WINAPI CertCreateCertificateContext(DWORD dwCertEncodingType, CONST BYTE* pbCertEncoded,
                                                   DWORD cbCertEncoded)
{
    X509Ptr cert;
    Bytes encoded;
    if (LONG error = decodeCertificate(dwCertEncodingType, pbCertEncoded, cbCertEncoded, cert, encoded)) {
        return failNull<const CERT_CONTEXT>(error);
    }
    return registerContext(buildContext(cert.get(), encoded));
}

BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT pCertContext)
{
    if (pCertContext == nullptr) {
        return TRUE;
    }
    if (!releaseContext(pCertContext)) {
        return fail(E_INVALIDARG);
    }
    return TRUE;
}

PCCERT_CONTEXT WINAPI CertDuplicateCertificateContext(PCCERT_CONTEXT pCertContext)
{
    if (pCertContext == nullptr) {
        return nullptr;
    }
    std::unique_lock<std::mutex> guard;
    CertImpl* impl = lookupContext(pCertContext, guard);
    if (impl == nullptr) {
        return failNull<const CERT_CONTEXT>(E_INVALIDARG);
    }
    ++impl->references;
    return pCertContext;
}

PCCERT_CONTEXT WINAPI CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD, DWORD, DWORD dwFindType,
                                                 const void* pvFindPara, PCCERT_CONTEXT pPrevCertContext)
{
    EntryMatch match;
    if (!findPredicate(dwFindType, pvFindPara, match)) {
        CertFreeCertificateContext(pPrevCertContext);
        return failNull<const CERT_CONTEXT>(E_INVALIDARG);
    }
    return nextInStore(hCertStore, pPrevCertContext, match);
}

PCCERT_CONTEXT WINAPI CertEnumCertificatesInStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pPrevCertContext)
{
    return nextInStore(hCertStore, pPrevCertContext, [](const StoreEntry&) { return true; });
}

BOOL WINAPI CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, void* pvData, DWORD* pcbData)
{
    if (pcbData == nullptr) {
        return fail(E_INVALIDARG);
    }
    std::string sha1;
    Bytes encoded;
    std::shared_ptr<Store> store;
    if (!contextFacts(pCertContext, sha1, &encoded, &store)) {
        return fail(E_INVALIDARG);
    }
    if (dwPropId == CERT_SHA1_HASH_PROP_ID) {
        return copyProperty(sha1Of(encoded), pvData, pcbData);
    }
    if (dwPropId == CERT_MD5_HASH_PROP_ID) {
        Bytes digest(16);
        unsigned int length = 0;
        EVP_Digest(encoded.data(), encoded.size(), digest.data(), &length, EVP_md5(), nullptr);
        return copyProperty(digest, pvData, pcbData);
    }
    if (dwPropId != CERT_KEY_PROV_INFO_PROP_ID) {
        return fail(CRYPT_E_NOT_FOUND);
    }
    std::optional<KeyProvInfo> info;
    if (store) {
        info = store->provInfo(sha1);
    } else {
        std::unique_lock<std::mutex> guard;
        if (CertImpl* impl = lookupContext(pCertContext, guard)) {
            info = impl->ownProvInfo;
        }
    }
    if (!info) {
        return fail(CRYPT_E_NOT_FOUND);
    }
    Bytes block(keyProvInfoSize(*info));
    writeKeyProvInfo(*info, block.data());
    if (pvData == nullptr || *pcbData < block.size()) {
        return copyProperty(block, pvData, pcbData);
    }
    // The strings' pointers must point into the caller's block, not ours.
    writeKeyProvInfo(*info, static_cast<BYTE*>(pvData));
    *pcbData = static_cast<DWORD>(block.size());
    return TRUE;
}

BOOL WINAPI CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, DWORD dwFlags,
                                              const void* pvData)
{
    std::string sha1;
    std::shared_ptr<Store> store;
    if (!contextFacts(pCertContext, sha1, nullptr, &store)) {
        return fail(E_INVALIDARG);
    }
    if (dwPropId != CERT_KEY_PROV_INFO_PROP_ID) {
        return fail(E_INVALIDARG);
    }
    std::optional<KeyProvInfo> info;
    if (pvData != nullptr) {
        info = keyProvInfoFromCaller(static_cast<const CRYPT_KEY_PROV_INFO*>(pvData));
    }
    if (store) {
        bool persist = (dwFlags & CERT_SET_PROPERTY_INHIBIT_PERSIST_FLAG) == 0;
        if (LONG error = store->setProvInfo(sha1, info, persist)) {
            return fail(error);
        }
        return TRUE;
    }
    std::unique_lock<std::mutex> guard;
    CertImpl* impl = lookupContext(pCertContext, guard);
    if (impl == nullptr) {
        return fail(E_INVALIDARG);
    }
    impl->ownProvInfo = info;
    return TRUE;
}

BOOL WINAPI CertAddEncodedCertificateToStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType, CONST BYTE* pbCertEncoded,
                                             DWORD cbCertEncoded, DWORD dwAddDisposition, PCCERT_CONTEXT* ppCertContext)
{
    if (ppCertContext != nullptr) {
        *ppCertContext = nullptr;
    }
    std::shared_ptr<Store> store = storeHandles().find(storeId(hCertStore));
    if (!store) {
        return fail(E_INVALIDARG);
    }
    if (dwAddDisposition < CERT_STORE_ADD_NEW ||
        dwAddDisposition > CERT_STORE_ADD_REPLACE_EXISTING_INHERIT_PROPERTIES) {
        return fail(E_INVALIDARG);
    }
    X509Ptr cert;
    Bytes encoded, stored;
    if (LONG error = decodeCertificate(dwCertEncodingType, pbCertEncoded, cbCertEncoded, cert, encoded)) {
        return fail(error);
    }
    if (LONG error = store->add(cert.get(), encoded, dwAddDisposition, stored)) {
        return fail(error);
    }
    if (ppCertContext != nullptr) {
        *ppCertContext = newStoreContext(stored, store, hCertStore);
        if (*ppCertContext == nullptr) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL WINAPI CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext)
{
    std::string sha1;
    std::shared_ptr<Store> store;
    if (!contextFacts(pCertContext, sha1, nullptr, &store)) {
        return fail(E_INVALIDARG);
    }
    // Windows frees the context whatever the outcome.
    releaseContext(pCertContext);
    if (!store) {
        return fail(E_INVALIDARG);
    }
    if (!store->remove(sha1)) {
        return fail(CRYPT_E_NOT_FOUND);
    }
    return TRUE;
}

} // extern "C"
