// The benchmark's direct program is only a fair reference if it makes exactly
// the calls the bridge makes. Both run each operation against the mock module
// in one session, and the module's call logs (functions, arguments, lengths,
// templates) must match line for line, as must the outputs.
#include "../pkcs11/MockModuleFixture.h"

#include "bench/DirectToken.h"
#include "pkcs11bridge/PKCS11TokenInfo.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using Bench::Bytes;
using Bench::DirectToken;
using JNIBridge::ByteArray;
using PKCS11Bridge::PKCS11Slot;
using namespace PKCS11Test;

namespace {

Bytes bytes(const char* text)
{
    return Bytes(text, text + std::strlen(text));
}

ByteArray byteArray(const Bytes& value)
{
    return ByteArray(reinterpret_cast<const char*>(value.data()), 0, static_cast<unsigned int>(value.size()));
}

Bytes bytes(const ByteArray& value)
{
    return Bytes(value.data(), value.data() + value.length());
}

class DirectCallsTest : public MockModuleTest {
protected:
    // The log of one operation, from a cleared log.
    static std::vector<std::string> logOf(const std::function<void()>& operation)
    {
        mock().log_clear();
        operation();
        return mock().logLines();
    }

    DirectToken directOn(const std::shared_ptr<PKCS11Slot>& slot)
    {
        return DirectToken(slot->getFunctionList(), slot->getSlotID(), slot->getSessionId());
    }

    // What the signData, decryptData and verifyData natives do first: the
    // certificate by its value.
    static PKCS11Bridge::Certificate certificateOn(PKCS11Slot& slot, const Bytes& value)
    {
        auto found = slot.findCertificate(CKC_X_509, byteArray(value));
        if (!found) {
            throw std::runtime_error("mock certificate missing");
        }
        return *found;
    }

    const Bytes certificateA = bytes(P11MOCK_CERT_A);
    const Bytes data = bytes("one kibibyte stands in here");
};

TEST_F(DirectCallsTest, SignAndDecryptMakeTheBridgesCallsWithAndWithoutTheSecondInit)
{
    auto slot = openedSlot(indexA);
    DirectToken direct = directOn(slot);
    mock().allow_reinit(1);
    for (bool secondInit : {false, true}) {
        slot->setCall2ndInit(secondInit);
        direct.setCall2ndInit(secondInit);
        for (CK_MECHANISM_TYPE mechanism : {CKM_SHA1_RSA_PKCS, CKM_SHA256_RSA_PKCS}) {
            Bytes viaBridge, viaDirect;
            const auto bridgeLog = logOf([&] {
                viaBridge = bytes(slot->signData(certificateOn(*slot, certificateA), byteArray(data), mechanism));
            });
            const auto directLog = logOf([&] { viaDirect = direct.sign(certificateA, data, mechanism); });
            EXPECT_EQ(bridgeLog, directLog) << "sign, second Init " << secondInit;
            EXPECT_EQ(viaBridge, viaDirect);
            EXPECT_EQ(viaBridge.size(), 64u);
        }
        Bytes viaBridge, viaDirect;
        const auto bridgeLog = logOf([&] {
            viaBridge = bytes(slot->decryptData(certificateOn(*slot, certificateA), byteArray(data), CKM_RSA_PKCS));
        });
        const auto directLog = logOf([&] { viaDirect = direct.decrypt(certificateA, data, CKM_RSA_PKCS); });
        EXPECT_EQ(bridgeLog, directLog) << "decrypt, second Init " << secondInit;
        EXPECT_EQ(viaBridge, viaDirect);
        EXPECT_EQ(std::count(bridgeLog.begin(), bridgeLog.end(), bridgeLog.front()), 4)
            << "one session check per step, as in the bridge";
    }
}

TEST_F(DirectCallsTest, VerifyMakesTheBridgesCallsForGoodAndBadSignatures)
{
    auto slot = openedSlot(indexA);
    DirectToken direct = directOn(slot);
    Bytes signature = direct.sign(certificateA, data, CKM_SHA256_RSA_PKCS);
    for (bool corrupt : {false, true}) {
        Bytes tried = signature;
        tried[10] ^= corrupt ? 1 : 0;
        bool viaBridge = false, viaDirect = false;
        const auto bridgeLog = logOf([&] {
            viaBridge = slot->verifyData(certificateOn(*slot, certificateA), byteArray(data), byteArray(tried),
                                         CKM_SHA256_RSA_PKCS);
        });
        const auto directLog =
            logOf([&] { viaDirect = direct.verify(certificateA, data, tried, CKM_SHA256_RSA_PKCS); });
        EXPECT_EQ(bridgeLog, directLog);
        EXPECT_EQ(viaBridge, !corrupt);
        EXPECT_EQ(viaDirect, !corrupt);
    }
}

TEST_F(DirectCallsTest, DigestRandomSessionAndTokenInfoMakeTheBridgesCalls)
{
    auto slot = openedSlot(indexA);
    DirectToken direct = directOn(slot);
    Bytes viaBridge, viaDirect;
    auto bridgeLog = logOf([&] {
        slot->digestInit(CKM_SHA_1);
        slot->digestUpdate(byteArray(data));
        viaBridge = bytes(slot->digestFinal());
    });
    auto directLog = logOf([&] { viaDirect = direct.digest(CKM_SHA_1, data); });
    EXPECT_EQ(bridgeLog, directLog);
    EXPECT_EQ(viaBridge, viaDirect);
    EXPECT_EQ(viaBridge.size(), 20u);

    for (unsigned int length : {1u, 32u}) {
        bridgeLog = logOf([&] { slot->generateRandom(length); });
        directLog = logOf([&] { direct.generateRandom(length); });
        EXPECT_EQ(bridgeLog, directLog);
    }

    bridgeLog = logOf([&] { slot->getSessionOpened(); });
    directLog = logOf([&] { direct.sessionOpened(); });
    EXPECT_EQ(bridgeLog, directLog);

    std::string bridgeLabel, directLabel;
    bridgeLog = logOf([&] { bridgeLabel = PKCS11Bridge::PKCS11TokenInfo(*slot).getLabel().c_str(); });
    directLog = logOf([&] {
        const CK_TOKEN_INFO info = direct.tokenInfo();
        directLabel.assign(reinterpret_cast<const char*>(info.label), sizeof info.label);
    });
    EXPECT_EQ(bridgeLog, directLog);
    EXPECT_EQ(bridgeLabel, P11MOCK_LABEL_A);
    EXPECT_EQ(directLabel, P11MOCK_LABEL_A);
}

// getNumberOfCertificates, then getCertificate for each index, each a fresh listing.
TEST_F(DirectCallsTest, CertificateListingMakesTheBridgesCalls)
{
    auto slot = openedSlot(indexC);
    DirectToken direct = directOn(slot);
    const CK_ULONG x509 = CKC_X_509;
    // A second certificate, so each listing walks more than one object.
    const CK_ULONG certificateClass = CKO_CERTIFICATE;
    const char* const secondValue = "P11MOCK-CERT-C-SECOND";
    const char* const secondId = "ID-C2";
    CK_ATTRIBUTE second[] = {{CKA_CLASS, const_cast<CK_ULONG*>(&certificateClass), sizeof certificateClass},
                             {CKA_CERTIFICATE_TYPE, const_cast<CK_ULONG*>(&x509), sizeof x509},
                             {CKA_ID, const_cast<char*>(secondId), 5},
                             {CKA_VALUE, const_cast<char*>(secondValue), 21}};
    ASSERT_NE(mock().add_object(P11MOCK_SLOT_C, second, 4), 0ul);
    std::vector<Bytes> viaBridge, viaDirect;
    const auto bridgeLog = logOf([&] {
        const unsigned int count = slot->getCertificates(x509).size();
        for (unsigned int i = 0; i < count; ++i) {
            viaBridge.push_back(bytes(slot->getCertificates(x509).getCertificate(i).getValue()));
        }
    });
    const auto directLog = logOf([&] { viaDirect = direct.listCertificates(); });
    EXPECT_EQ(bridgeLog, directLog);
    EXPECT_EQ(viaBridge, viaDirect);
    EXPECT_EQ(viaDirect, (std::vector<Bytes>{bytes(P11MOCK_CERT_C), bytes(secondValue)}));
}

} // namespace
