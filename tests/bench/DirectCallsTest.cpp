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
#include <utility>
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

using Log = std::vector<std::string>;

class DirectCallsTest : public MockModuleTest {
protected:
    // The log of one operation, from a cleared log.
    static Log logOf(const std::function<void()>& operation)
    {
        mock().log_clear();
        operation();
        return mock().logLines();
    }

    // One operation through the bridge and through the direct program: logs
    // and outputs must match. Returns the bridge's log and output.
    template <class Output>
    static std::pair<Log, Output> compare(const std::function<Output()>& bridge, const std::function<Output()>& direct)
    {
        Output viaBridge{};
        Output viaDirect{};
        const Log bridgeLog = logOf([&] { viaBridge = bridge(); });
        EXPECT_EQ(bridgeLog, logOf([&] { viaDirect = direct(); }));
        EXPECT_EQ(viaBridge, viaDirect);
        return {bridgeLog, viaBridge};
    }

    DirectToken directOn(const std::shared_ptr<PKCS11Slot>& slot)
    {
        return DirectToken(slot->getFunctionList(), slot->getSlotID(), slot->getSessionId());
    }

    // What the signData, decryptData and verifyData natives do first: the
    // certificate by its value.
    static PKCS11Bridge::Certificate certificateOn(PKCS11Slot& slot) { return certificateOf(slot, P11MOCK_CERT_A); }

    const Bytes certificateA = bytes(P11MOCK_CERT_A);
    const Bytes data = bytes("one kibibyte stands in here");
};

TEST_F(DirectCallsTest, SignAndDecryptMakeTheBridgesCallsWithAndWithoutTheSecondInit)
{
    auto slot = openedSlot(indexA);
    DirectToken direct = directOn(slot);
    mock().allow_reinit(1);
    for (bool secondInit : {false, true}) {
        SCOPED_TRACE(secondInit ? "second Init" : "no second Init");
        slot->setCall2ndInit(secondInit);
        direct.setCall2ndInit(secondInit);
        for (CK_MECHANISM_TYPE mechanism : {CKM_SHA1_RSA_PKCS, CKM_SHA256_RSA_PKCS}) {
            const auto signature =
                compare<Bytes>([&] { return bytes(slot->signData(certificateOn(*slot), byteArray(data), mechanism)); },
                               [&] { return direct.sign(certificateA, data, mechanism); });
            EXPECT_EQ(signature.second.size(), 64u);
        }
        const auto decrypted = compare<Bytes>(
            [&] { return bytes(slot->decryptData(certificateOn(*slot), byteArray(data), CKM_RSA_PKCS)); },
            [&] { return direct.decrypt(certificateA, data, CKM_RSA_PKCS); });
        const Log& log = decrypted.first;
        EXPECT_EQ(std::count(log.begin(), log.end(), log.front()), 4) << "one session check per step, as in the bridge";
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
        const auto verified = compare<bool>(
            [&] {
                return slot->verifyData(certificateOn(*slot), byteArray(data), byteArray(tried), CKM_SHA256_RSA_PKCS);
            },
            [&] { return direct.verify(certificateA, data, tried, CKM_SHA256_RSA_PKCS); });
        EXPECT_EQ(verified.second, !corrupt);
    }
}

TEST_F(DirectCallsTest, DigestRandomSessionAndTokenInfoMakeTheBridgesCalls)
{
    auto slot = openedSlot(indexA);
    DirectToken direct = directOn(slot);
    const auto digest = compare<Bytes>(
        [&] {
            slot->digestInit(CKM_SHA_1);
            slot->digestUpdate(byteArray(data));
            return bytes(slot->digestFinal());
        },
        [&] { return direct.digest(CKM_SHA_1, data); });
    EXPECT_EQ(digest.second.size(), 20u);

    for (unsigned int length : {1u, 32u}) {
        EXPECT_EQ(logOf([&] { slot->generateRandom(length); }), logOf([&] { direct.generateRandom(length); }));
    }
    EXPECT_EQ(logOf([&] { slot->getSessionOpened(); }), logOf([&] { direct.sessionOpened(); }));

    const auto label =
        compare<std::string>([&] { return std::string(PKCS11Bridge::PKCS11TokenInfo(*slot).getLabel().c_str()); },
                             [&] {
                                 const CK_TOKEN_INFO info = direct.tokenInfo();
                                 return std::string(reinterpret_cast<const char*>(info.label), sizeof info.label);
                             });
    EXPECT_EQ(label.second, P11MOCK_LABEL_A);
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
    const auto listed = compare<std::vector<Bytes>>(
        [&] {
            std::vector<Bytes> values;
            const unsigned int count = slot->getCertificates(x509).size();
            for (unsigned int i = 0; i < count; ++i) {
                values.push_back(bytes(slot->getCertificates(x509).getCertificate(i).getValue()));
            }
            return values;
        },
        [&] { return direct.listCertificates(); });
    EXPECT_EQ(listed.second, (std::vector<Bytes>{bytes(P11MOCK_CERT_C), bytes(secondValue)}));
}

} // namespace
