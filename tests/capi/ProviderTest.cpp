// Provider availability, the ORV_RANDOM container, random seed bytes and the
// algorithms a provider lists.
#include "CapiTestEnvironment.h"

#include "capi/ORVcapi.h"
#include "capi/ProviderManager.h"
#include "capi/ResultCodes.h"
#include "common/Exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

using namespace CAPIBridge;

namespace {

const char* const kEnhanced = "Microsoft Enhanced Cryptographic Provider v1.0";

TEST(IsCspAvailable, InstalledProviderIsAvailable)
{
    bool available = false;
    EXPECT_EQ(0, ORVcapi().isCspAvailable(kEnhanced, "RSA_FULL", available));
    EXPECT_TRUE(available);
}

TEST(IsCspAvailable, EveryKnownTypeNameIsAccepted)
{
    for (const char* type : {"RSA_FULL", "RSA_AES", "RSA_SIG", "RSA_SCHANNEL", "DSS", "DSS_DH", "DH_SCHANNEL",
                             "FORTEZZA", "MS_EXCHANGE", "SSL"}) {
        bool available = false;
        EXPECT_NE(ResultCode::kCspUnknownTypeName, ORVcapi().isCspAvailable(kEnhanced, type, available)) << type;
    }
}

TEST(IsCspAvailable, UnknownTypeNameReturns630AndLeavesTheFlag)
{
    for (const char* type : {"rsa_full", "PROV_RSA_FULL", "RSA_FULL ", "", "RSA"}) {
        bool available = true;
        EXPECT_EQ(-630, ORVcapi().isCspAvailable(kEnhanced, type, available)) << type;
        EXPECT_TRUE(available) << type;
    }
}

TEST(IsCspAvailable, UnknownProviderReturnsTheWindowsError)
{
    bool available = true;
    EXPECT_EQ(static_cast<int>(NTE_KEYSET_NOT_DEF),
              ORVcapi().isCspAvailable("ORV No Such Provider v0.0", "RSA_FULL", available));
    EXPECT_FALSE(available);
}

TEST(ProviderManager, OpensOrCreatesTheContainer)
{
    ProviderManager first("ORV_RANDOM");
    EXPECT_NE(0u, first.getHandle());
    ProviderManager second("ORV_RANDOM");
    EXPECT_NE(0u, second.getHandle());
}

TEST(ProviderManager, ConcurrentFirstUseCreatesTheContainerOnce)
{
    const std::string name = CapiTestEnvironment::kKeyContainer + "-race";
    for (int round = 0; round < 20; ++round) {
        HCRYPTPROV unused = 0;
        CryptAcquireContextA(&unused, name.c_str(), nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
        std::vector<int> failures(6, 0);
        std::atomic<int> waiting(static_cast<int>(failures.size()));
        onThreads(failures.size(), [&name, &failures, &waiting](std::size_t t) {
            // All threads start together to widen the open/create window.
            --waiting;
            while (waiting.load() > 0) {
            }
            try {
                ProviderManager manager(name.c_str());
            } catch (const Common::Exception&) {
                ++failures[t];
            }
        });
        ASSERT_EQ(std::vector<int>(6, 0), failures) << "round " << round;
    }
    HCRYPTPROV unused = 0;
    CryptAcquireContextA(&unused, name.c_str(), nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

TEST(GenerateSeed, FillsTheWholeBufferWithFreshBytes)
{
    Bytes first(256, 0);
    Bytes second(256, 0);
    ORVcapi().generateSeed(first.data(), static_cast<DWORD>(first.size()));
    ORVcapi().generateSeed(second.data(), static_cast<DWORD>(second.size()));
    EXPECT_NE(first, second);
    // About one zero byte is expected in 256; sixteen means the buffer was not filled.
    EXPECT_LT(std::count(first.begin(), first.end(), 0), 16);
    EXPECT_LT(std::count(second.begin(), second.end(), 0), 16);
}

TEST(GenerateSeed, ZeroLengthIsHarmless)
{
    unsigned char byte = 0x5a;
    ORVcapi().generateSeed(&byte, 0);
    EXPECT_EQ(0x5a, byte);
}

TEST(ProviderAlgorithms, RsaProviderListsHashesAndRsaButNotDss)
{
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, kEnhanced, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    ProviderAlgorithms algorithms;
    algorithms.dssSign = true;
    EXPECT_EQ(0, ORVcapi().getProviderAlgorithms(provider, algorithms));
    CryptReleaseContext(provider, 0);
    EXPECT_TRUE(algorithms.sha1);
    EXPECT_TRUE(algorithms.md5);
    EXPECT_TRUE(algorithms.rsaSign);
    EXPECT_TRUE(algorithms.rsaKeyExchange);
    EXPECT_FALSE(algorithms.dssSign);
}

} // namespace
