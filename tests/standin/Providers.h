// The cryptographic service providers the stand-in offers, with the
// algorithms Windows lists for each, and their key containers on disk:
// <root>/containers/<name>/{keyx,sig}.pem for the RSA providers (which share
// containers, as on Windows) and <root>/dss-containers/<name>/ for DSS.
#ifndef ORV_PLATFORM_PROVIDERS_H
#define ORV_PLATFORM_PROVIDERS_H

#include "tests/standin/Common.h"
#include "tests/standin/StandInContainers.h"

#include <string>
#include <vector>

namespace orv::platform {

struct AlgorithmInfo {
    ALG_ID id;
    DWORD bits;
    const char* name;
};

struct ProviderInfo {
    const char* name;
    DWORD type;
    DWORD defaultRsaBits; // 0: no RSA keys (DSS)
    const char* containerDir;
    std::vector<AlgorithmInfo> algorithms;

    bool lists(ALG_ID id) const;
};

const std::vector<ProviderInfo>& providers();
const ProviderInfo* providerByName(const std::string& name);
const ProviderInfo* defaultProvider(DWORD type);

// Key containers of one provider family.
class ContainerStore {
public:
    explicit ContainerStore(const ProviderInfo& provider) : provider_(provider) {}

    std::string path(const std::string& container) const;
    bool exists(const std::string& container) const;
    // Creates it; false with NTE_EXISTS or NTE_FAIL in `error`.
    bool create(const std::string& container, LONG& error) const;
    bool remove(const std::string& container) const;
    std::vector<std::string> names() const;

    // Missing key: null with no error. Unreadable key: null with NTE_BAD_KEY.
    PkeyPtr loadKey(const std::string& container, DWORD keySpec, LONG& error) const;
    bool storeKey(const std::string& container, DWORD keySpec, EVP_PKEY* key) const;

    // Where signing with the container's keys is cancelled (a `cancel` file in it).
    standin::CancelSigning signingCancel(const std::string& container) const;
    bool setSigningCancel(const std::string& container, standin::CancelSigning at) const;

private:
    const ProviderInfo& provider_;
};

const char* keyFileName(DWORD keySpec);

// An RSA private key file (PKCS#8 PEM, mode 0600), shared by containers and
// key storage providers, which may also hold DSA keys (dsaToo). Missing: null
// with no error; unreadable or of another type: null with NTE_BAD_KEY.
PkeyPtr readKeyFile(const std::string& file, LONG& error, bool dsaToo = false);
bool writeKeyFile(const std::string& file, EVP_PKEY* key);

} // namespace orv::platform

#endif
