// orvwin: provisions the Linux stand-in's key containers, certificate stores
// and registry, the way an administrator would on Windows. It goes through
// the same Win32 calls the library uses, so what it stores is what they see.
//
//   orvwin import-pfx --store MY --container NAME [--provider "..." | --ksp "..."]
//                     [--keyspec 1|2] [--password P] FILE.p12
//   orvwin refuse-key --ksp "..." --container NAME --status CODE [--at use|open|property]
//   orvwin add-cert --store ROOT FILE          (DER or PEM)
//   orvwin import-reg FILE.reg
//   orvwin list
//
// The state directory is $ORV_WIN32_ROOT, else $XDG_DATA_HOME/orvnative-win32,
// else ~/.local/share/orvnative-win32.
#include "platform/Win32.h"
#include "tests/standin/Certificates.h"
#include "tests/standin/Common.h"
#include "tests/standin/KeyBlob.h"
#include "tests/standin/KeyStorage.h"
#include "tests/standin/Providers.h"
#include "tests/standin/Registry.h"
#include "tests/standin/StateRoot.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace orv::platform;

namespace {

constexpr int kOk = 0, kFailed = 1, kUsage = 2;

const char kUsageText[] = "usage:\n"
                          "  orvwin import-pfx --store MY --container NAME [--provider NAME | --ksp NAME]\n"
                          "                    [--keyspec 1|2] [--password P] FILE.p12\n"
                          "  orvwin refuse-key --ksp NAME --container NAME --status CODE\n"
                          "                    [--at use|open|property]\n"
                          "                    (status 0 allows again)\n"
                          "  orvwin add-cert --store ROOT FILE\n"
                          "  orvwin import-reg FILE.reg\n"
                          "  orvwin list\n"
                          "The password may also come from ORVWIN_PFX_PASSWORD.\n"
                          "State directory: ORV_WIN32_ROOT, else $XDG_DATA_HOME/orvnative-win32,\n"
                          "else ~/.local/share/orvnative-win32.\n";

// A password kept only as long as needed and wiped afterwards.
struct Secret {
    std::string value;
    bool given = false;
    ~Secret()
    {
        if (!value.empty()) {
            OPENSSL_cleanse(&value[0], value.size());
        }
    }
};

struct Options {
    std::map<std::string, std::string> named;
    std::vector<std::string> positional;
    Secret password;
};

int usage(const std::string& problem)
{
    std::fprintf(stderr, "orvwin: %s\n%s", problem.c_str(), kUsageText);
    return kUsage;
}

int failure(const std::string& what)
{
    std::fprintf(stderr, "orvwin: %s\n", what.c_str());
    return kFailed;
}

std::string errorText(DWORD code)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(code));
    return buffer;
}

// Options take a value; --password's value is wiped from argv once copied.
bool parseOptions(int argc, char** argv, int first, Options& options, std::string& problem)
{
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            options.positional.push_back(arg);
            continue;
        }
        if (i + 1 >= argc) {
            problem = "missing value for " + arg;
            return false;
        }
        if (arg == "--password") {
            options.password.value = argv[++i];
            options.password.given = true;
            OPENSSL_cleanse(argv[i], std::strlen(argv[i]));
        } else {
            options.named[arg.substr(2)] = argv[++i];
        }
    }
    return true;
}

std::string option(const Options& options, const std::string& name, const std::string& fallback = "")
{
    auto it = options.named.find(name);
    return it == options.named.end() ? fallback : it->second;
}

bool readCertificateFile(const std::string& path, Bytes& der)
{
    Bytes content;
    if (!readFile(path, content) || content.empty()) {
        return false;
    }
    BioPtr bio(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    X509Ptr cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    if (!cert) {
        der = content; // not PEM: take the bytes as DER
        return true;
    }
    int length = i2d_X509(cert.get(), nullptr);
    if (length <= 0) {
        return false;
    }
    der.resize(static_cast<std::size_t>(length));
    unsigned char* p = der.data();
    i2d_X509(cert.get(), &p);
    return true;
}

// Adds a certificate; on success `context` is the stored certificate.
bool addToStore(const std::string& storeName, const Bytes& der, DWORD disposition, PCCERT_CONTEXT& context,
                std::string& problem)
{
    HCERTSTORE store = CertOpenSystemStoreA(0, storeName.c_str());
    if (store == nullptr) {
        problem = "cannot open store " + storeName + " (" + errorText(GetLastError()) + ")";
        return false;
    }
    BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                  disposition, &context);
    DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!added) {
        problem = "cannot add the certificate to " + storeName + " (" + errorText(error) + ")";
    }
    return added == TRUE;
}

struct Pkcs12Contents {
    PkeyPtr key;
    X509Ptr cert;
};

bool readPkcs12(const std::string& path, Secret& password, Pkcs12Contents& out, std::string& problem)
{
    Bytes content;
    if (!readFile(path, content)) {
        problem = "cannot read " + path;
        return false;
    }
    BioPtr bio(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    PKCS12* p12 = bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr;
    if (p12 == nullptr) {
        ERR_clear_error();
        problem = path + " is not a PKCS#12 file";
        return false;
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const char* pass = password.value.c_str();
    int parsed = PKCS12_parse(p12, pass, &key, &cert, &chain);
    if (parsed != 1 && !password.given) {
        parsed = PKCS12_parse(p12, nullptr, &key, &cert, &chain);
    }
    PKCS12_free(p12);
    sk_X509_pop_free(chain, X509_free);
    ERR_clear_error();
    out.key.reset(key);
    out.cert.reset(cert);
    if (parsed != 1) {
        problem = "cannot open " + path + " (wrong password or damaged file)";
        return false;
    }
    const int type = out.key ? EVP_PKEY_get_base_id(out.key.get()) : EVP_PKEY_NONE;
    if (!out.cert || (type != EVP_PKEY_RSA && type != EVP_PKEY_DSA)) {
        problem = path + " must hold an RSA or DSA private key and its certificate";
        return false;
    }
    return true;
}

// Opens the container, creating it when missing.
bool acquireContainer(const std::string& container, const ProviderInfo& provider, HCRYPTPROV& handle,
                      std::string& problem)
{
    if (CryptAcquireContextA(&handle, container.c_str(), provider.name, provider.type, 0)) {
        return true;
    }
    if (GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET) &&
        CryptAcquireContextA(&handle, container.c_str(), provider.name, provider.type, CRYPT_NEWKEYSET)) {
        return true;
    }
    problem = "cannot open key container " + container + " (" + errorText(GetLastError()) + ")";
    return false;
}

bool importKey(HCRYPTPROV provider, EVP_PKEY* key, DWORD keySpec, std::string& problem)
{
    SecureBytes blob;
    if (!rsaPrivateKeyBlob(key, keySpec == AT_SIGNATURE ? CALG_RSA_SIGN : CALG_RSA_KEYX, blob)) {
        problem = "the private key cannot be converted";
        return false;
    }
    HCRYPTKEY imported = 0;
    if (!CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &imported)) {
        problem = "cannot import the private key (" + errorText(GetLastError()) + ")";
        return false;
    }
    CryptDestroyKey(imported);
    return true;
}

// Where import-pfx puts the key: a CryptoAPI container, or a key storage
// provider's key, which the certificate then names with provider type 0.
struct KeyHome {
    std::string providerName;
    DWORD providerType = 0;
    const ProviderInfo* csp = nullptr;
};

bool chooseKeyHome(const Options& options, KeyHome& home, std::string& problem)
{
    bool ksp = options.named.count("ksp") != 0;
    if (ksp && options.named.count("provider") != 0) {
        problem = "--provider and --ksp exclude each other";
        return false;
    }
    if (ksp) {
        const char* name = keyStorageProviderName(option(options, "ksp"));
        if (name == nullptr) {
            problem = "not a key storage provider: " + option(options, "ksp");
            return false;
        }
        home.providerName = name;
        return true;
    }
    std::string providerName = option(options, "provider", MS_ENHANCED_PROV_A);
    home.csp = providerByName(providerName);
    if (home.csp == nullptr || home.csp->defaultRsaBits == 0) {
        problem = "not an RSA provider: " + providerName;
        return false;
    }
    home.providerName = home.csp->name;
    home.providerType = home.csp->type;
    return true;
}

bool storeKey(const KeyHome& home, const std::string& container, EVP_PKEY* key, DWORD keySpec, std::string& problem)
{
    if (home.csp == nullptr) {
        if (KeyStorage(home.providerName, false).storeKey(container, keySpec, key)) {
            return true;
        }
        problem = "cannot store the key " + container + " of " + home.providerName;
        return false;
    }
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        problem = "a key container of " + home.providerName + " takes only an RSA key";
        return false;
    }
    HCRYPTPROV handle = 0;
    if (!acquireContainer(container, *home.csp, handle, problem)) {
        return false;
    }
    bool keyImported = importKey(handle, key, keySpec, problem);
    CryptReleaseContext(handle, 0);
    return keyImported;
}

int importPfx(Options& options)
{
    std::string store = option(options, "store"), container = option(options, "container");
    std::string keySpecText = option(options, "keyspec", "1");
    if (store.empty() || container.empty() || options.positional.size() != 1) {
        return usage("import-pfx needs --store, --container and one FILE");
    }
    if (keySpecText != "1" && keySpecText != "2") {
        return usage("--keyspec must be 1 or 2");
    }
    DWORD keySpec = keySpecText == "2" ? AT_SIGNATURE : AT_KEYEXCHANGE;
    KeyHome home;
    std::string problem;
    if (!chooseKeyHome(options, home, problem)) {
        return failure(problem);
    }
    if (!options.password.given) {
        if (const char* fromEnvironment = std::getenv("ORVWIN_PFX_PASSWORD")) {
            options.password.value = fromEnvironment;
            options.password.given = true;
        }
    }

    Pkcs12Contents contents;
    if (!readPkcs12(options.positional[0], options.password, contents, problem)) {
        return failure(problem);
    }
    if (!storeKey(home, container, contents.key.get(), keySpec, problem)) {
        return failure(problem);
    }

    Bytes der(static_cast<std::size_t>(i2d_X509(contents.cert.get(), nullptr)));
    unsigned char* p = der.data();
    i2d_X509(contents.cert.get(), &p);
    PCCERT_CONTEXT context = nullptr;
    if (!addToStore(store, der, CERT_STORE_ADD_REPLACE_EXISTING, context, problem)) {
        return failure(problem);
    }
    std::wstring wideContainer = utf8ToWide(container), wideProvider = utf8ToWide(home.providerName);
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = &wideContainer[0];
    info.pwszProvName = &wideProvider[0];
    info.dwProvType = home.providerType;
    info.dwKeySpec = keySpec;
    BOOL linked = CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
    DWORD error = GetLastError();
    CertFreeCertificateContext(context);
    if (!linked) {
        return failure("cannot record the key container (" + errorText(error) + ")");
    }
    std::printf("imported %s into store %s with %s %s (%s, key spec %u)\n", options.positional[0].c_str(),
                toUpperAscii(store).c_str(), home.csp ? "key container" : "key", container.c_str(),
                home.providerName.c_str(), static_cast<unsigned>(keySpec));
    return kOk;
}

int refuseKey(Options& options)
{
    std::string ksp = option(options, "ksp"), container = option(options, "container");
    std::string statusText = option(options, "status"), at = option(options, "at", "use");
    if (ksp.empty() || container.empty() || statusText.empty() || !options.positional.empty()) {
        return usage("refuse-key needs --ksp, --container and --status");
    }
    if (at != "use" && at != "open" && at != "property") {
        return usage("--at must be use, open or property");
    }
    char* end = nullptr;
    unsigned long status = std::strtoul(statusText.c_str(), &end, 0);
    if (end == nullptr || *end != '\0' || status > 0xFFFFFFFFul) {
        return usage("--status must be a number");
    }
    const char* name = keyStorageProviderName(ksp);
    if (name == nullptr) {
        return failure("not a key storage provider: " + ksp);
    }
    KeyStorage::Stage stage = at == "open"       ? KeyStorage::Stage::Open
                              : at == "property" ? KeyStorage::Stage::Property
                                                 : KeyStorage::Stage::Use;
    if (!KeyStorage(name, false).setRefusal(container, static_cast<LONG>(status), stage)) {
        return failure("no key " + container + " in " + name);
    }
    std::printf("key %s of %s %s\n", container.c_str(), name, status ? "now refuses its use" : "works again");
    return kOk;
}

int addCert(Options& options)
{
    std::string store = option(options, "store");
    if (store.empty() || options.positional.size() != 1) {
        return usage("add-cert needs --store and one FILE");
    }
    Bytes der;
    if (!readCertificateFile(options.positional[0], der)) {
        return failure("cannot read " + options.positional[0]);
    }
    PCCERT_CONTEXT context = nullptr;
    std::string problem;
    if (!addToStore(store, der, CERT_STORE_ADD_USE_EXISTING, context, problem)) {
        return failure(problem);
    }
    CertFreeCertificateContext(context);
    std::printf("added %s to store %s\n", options.positional[0].c_str(), toUpperAscii(store).c_str());
    return kOk;
}

int importReg(Options& options)
{
    if (options.positional.size() != 1) {
        return usage("import-reg needs one FILE");
    }
    RegParseError error;
    if (!importRegistryFile(options.positional[0], error)) {
        return failure(error.text());
    }
    std::printf("imported %s into the registry\n", options.positional[0].c_str());
    return kOk;
}

std::string subjectOf(PCCERT_CONTEXT context)
{
    const unsigned char* p = context->pbCertEncoded;
    X509Ptr cert(d2i_X509(nullptr, &p, context->cbCertEncoded));
    if (!cert) {
        return "?";
    }
    char* text = X509_NAME_oneline(X509_get_subject_name(cert.get()), nullptr, 0);
    std::string subject = text ? text : "?";
    OPENSSL_free(text);
    return subject;
}

std::string keyLinkOf(PCCERT_CONTEXT context)
{
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
        return "no key";
    }
    std::vector<BYTE> block(size);
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, block.data(), &size)) {
        return "no key";
    }
    auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(block.data());
    return "key: container " + wideToUtf8(info->pwszContainerName) + ", " + wideToUtf8(info->pwszProvName) +
           ", key spec " + std::to_string(info->dwKeySpec);
}

void listContainers()
{
    std::printf("key containers:\n");
    for (const ProviderInfo* provider : {providerByName(MS_DEF_PROV_A), providerByName(MS_DEF_DSS_PROV_A)}) {
        ContainerStore containers(*provider);
        for (const std::string& name : containers.names()) {
            std::string keys;
            for (DWORD spec : {DWORD(AT_KEYEXCHANGE), DWORD(AT_SIGNATURE)}) {
                LONG error = 0;
                PkeyPtr key = containers.loadKey(name, spec, error);
                std::string label = spec == AT_SIGNATURE ? "sig" : "keyx";
                keys += " " + label + "=" +
                        (key     ? "RSA-" + std::to_string(EVP_PKEY_get_bits(key.get()))
                         : error ? "damaged"
                                 : "none");
            }
            std::printf("  %s%s%s\n", name.c_str(), provider->defaultRsaBits == 0 ? " (DSS)" : "", keys.c_str());
        }
    }
}

void listStores()
{
    std::printf("certificate stores:\n");
    for (const std::string& name : storeNames()) {
        std::printf("  %s\n", name.c_str());
        HCERTSTORE store = CertOpenSystemStoreA(0, name.c_str());
        if (store == nullptr) {
            continue;
        }
        PCCERT_CONTEXT context = nullptr;
        while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
            BYTE sha1[20];
            DWORD size = sizeof sha1;
            CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, sha1, &size);
            std::printf("    %s %s (%s)\n", hexString(sha1, size).c_str(), subjectOf(context).c_str(),
                        keyLinkOf(context).c_str());
        }
        CertCloseStore(store, 0);
    }
}

int list()
{
    std::printf("state directory: %s\n", stateRoot().c_str());
    listContainers();
    listStores();
    std::printf("registry files:\n");
    for (const std::string& file : registryFiles()) {
        std::printf("  %s\n", file.c_str());
    }
    std::shared_ptr<const RegForest> forest;
    RegParseError error;
    if (!loadRegistry(forest, error)) {
        std::printf("registry is damaged: %s\n", error.text().c_str());
        return kFailed;
    }
    return kOk;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return usage("no command given");
    }
    std::string command = argv[1];
    Options options;
    std::string problem;
    if (!parseOptions(argc, argv, 2, options, problem)) {
        return usage(problem);
    }
    if (command == "import-pfx") {
        return importPfx(options);
    }
    if (command == "add-cert") {
        return addCert(options);
    }
    if (command == "refuse-key") {
        return refuseKey(options);
    }
    if (command == "import-reg") {
        return importReg(options);
    }
    if (command == "list") {
        return list();
    }
    if (command == "help" || command == "--help") {
        std::printf("%s", kUsageText);
        return kOk;
    }
    return usage("unknown command '" + command + "'");
}
