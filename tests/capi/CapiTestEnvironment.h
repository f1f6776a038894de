// Provisions what the CryptoAPI tests need, the same way on Linux (the
// stand-in, under a private ORV_WIN32_ROOT) and under Wine (its real
// CryptoAPI): a key container holding the signer's key, an empty container,
// and the signer's certificates in MY with their key-provider information.
// Everything added is removed again when the program ends.
#ifndef ORV_TESTS_CAPI_CAPITESTENVIRONMENT_H
#define ORV_TESTS_CAPI_CAPITESTENVIRONMENT_H

#include "capi/SecureBuffer.h"
#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

using Bytes = std::vector<unsigned char>;
using CAPIBridge::SecureBuffer;

class CapiTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    // Holds the signer's key as AT_KEYEXCHANGE.
    static const std::string kKeyContainer;
    // Exists but holds no key.
    static const std::string kEmptyContainer;
    // Keys of the smart card key storage provider holding the signer's key
    // (Linux only: Wine opens no stored CNG keys): a user key for
    // AT_KEYEXCHANGE, and a machine key for AT_SIGNATURE.
    static const std::string kKeyStorageKey;
    static const std::string kMachineKeyStorageKey;

    // Replaces the key-provider information of a certificate already in MY.
    static void setKeyProvInfo(const Bytes& certificate, const std::wstring& container, const std::wstring& provider,
                               DWORD providerType, DWORD keySpec, DWORD flags = 0);

private:
    static HCERTSTORE openWritableMy();
    static void addToMy(const Bytes& certificate, const CRYPT_KEY_PROV_INFO* info);
    static void removeFromMy(const Bytes& certificate);
    static inline std::string stateRoot_;
    static inline bool randomContainerExisted_ = false;
};

std::wstring widen(const std::string& text);
SecureBuffer bufferOf(const Bytes& bytes);
Bytes bytesOf(const SecureBuffer& buffer);

// What ORVcapi::unwrapSessionKey throws when unwrapping with the key of a
// certificate in MY: "cancelled" (a UserCancelledException), "failed" (any
// other Common::Exception) or "no exception", with its code and description.
struct UnwrapOutcome {
    std::string kind = "no exception";
    std::int32_t code = 0;
    std::string description;
};
UnwrapOutcome unwrapOutcome(const Bytes& wrapped, const Bytes& certificate, SecureBuffer& plain);

// Runs body(t) for t in [0, count) on threads of their own and waits for all.
template <class F>
void onThreads(std::size_t count, F body)
{
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < count; ++t) {
        threads.emplace_back(body, t);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

#endif
