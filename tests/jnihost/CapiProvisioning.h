// Puts the CryptoAPI material the cases use into Windows' own stores: the
// signer's key into the container ORV_JNIHOST of the Enhanced provider and
// the signer's certificate into MY with that key's provider information, and
// the certificates of many-*.der into the store ORVHOSTMANY. Removes them
// again when destroyed. Linux runs get the same through orvwin instead.
#ifndef ORV_TESTS_JNIHOST_CAPIPROVISIONING_H
#define ORV_TESTS_JNIHOST_CAPIPROVISIONING_H

#include <string>
#include <vector>

class CapiProvisioning {
public:
    explicit CapiProvisioning(const std::string& materialDir); // throws std::runtime_error
    ~CapiProvisioning();
    CapiProvisioning(const CapiProvisioning&) = delete;
    CapiProvisioning& operator=(const CapiProvisioning&) = delete;

private:
    std::string materialDir_;
    std::vector<std::vector<unsigned char>> many_;
};

#endif
