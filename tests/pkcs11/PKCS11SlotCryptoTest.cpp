// Encrypt, decrypt, sign, verify and unwrap against the mock: what the module
// sees, what comes back, and every failure's message.
#include "MockModuleFixture.h"

#include "pkcs11bridge/LengthLimit.h"

#include <functional>

using JNIBridge::ByteArray;
using PKCS11Bridge::Certificate;
using PKCS11Bridge::PKCS11Slot;
using namespace PKCS11Test;

namespace {

constexpr CK_MECHANISM_TYPE rsaPkcs = CKM_RSA_PKCS;

// Encrypt, decrypt and sign share one pattern; each case runs against all three.
struct Operation {
    const char* name;
    const char* prefix;
    const char* init;
    const char* run;
    CK_OBJECT_HANDLE key;
    bool shortened;
    std::function<ByteArray(PKCS11Slot&, const Certificate&, const ByteArray&, unsigned long)> call;
};

const Operation operations[] = {
    {"Encrypt", "PKCS11Slot::encryptData(const Certificate&, const ByteArray&, unsigned int) - ", "C_EncryptInit",
     "C_Encrypt", P11MOCK_H_PUB_A, false,
     [](PKCS11Slot& s, const Certificate& c, const ByteArray& d, unsigned long m) { return s.encryptData(c, d, m); }},
    {"Decrypt", "PKCS11Slot::decryptData(const Certificate&, const ByteArray&, unsigned int) - ", "C_DecryptInit",
     "C_Decrypt", P11MOCK_H_PRIV_A, true,
     [](PKCS11Slot& s, const Certificate& c, const ByteArray& d, unsigned long m) { return s.decryptData(c, d, m); }},
    {"Sign", "PKCS11Slot::signData(const Certificate&, const ByteArray&, unsigned int) - ", "C_SignInit", "C_Sign",
     P11MOCK_H_PRIV_A, false,
     [](PKCS11Slot& s, const Certificate& c, const ByteArray& d, unsigned long m) { return s.signData(c, d, m); }},
};

// Token A's slot in session, and its RSA certificate.
class Crypto : public OpenedSlotTest {
protected:
    void SetUp() override
    {
        OpenedSlotTest::SetUp();
        certificate.reset(new Certificate(certificateOf(*s, P11MOCK_CERT_A)));
        mock().log_clear();
    }

    std::unique_ptr<Certificate> certificate;
};

class SinglePart : public Crypto, public ::testing::WithParamInterface<Operation> {
protected:
    ByteArray run(const std::string& input, unsigned long mechanism = rsaPkcs)
    {
        return GetParam().call(*s, *certificate, bytes(input), mechanism);
    }

    Failure failureOf(const std::string& input)
    {
        return pkcs11Failure([&] { run(input); });
    }

    std::vector<std::string> operationLines()
    {
        return linesStartingWith({GetParam().init, (std::string(GetParam().run) + " ").c_str()});
    }

    std::string initLine(unsigned long mechanism = rsaPkcs) const
    {
        char hexMechanism[24];
        std::snprintf(hexMechanism, sizeof hexMechanism, "0x%lx", mechanism);
        return std::string(GetParam().init) + " session=" + session() + " mechanism=" + hexMechanism +
               " key=" + std::to_string(GetParam().key) + " rv=0x0";
    }

    std::string outputLength(std::size_t inputLength) const
    {
        return std::string(GetParam().run) == "C_Sign" ? std::to_string(P11MOCK_SIGNATURE_LEN)
                                                       : std::to_string(inputLength);
    }

    // The run call's line for "hello": the size query, or the call that writes.
    std::string runLine(bool sizeQuery) const
    {
        const std::string n = outputLength(5);
        return std::string(GetParam().run) + " session=" + session() +
               " dataLen=5 out=" + (sizeQuery ? "NULL lenIn=0" : "set lenIn=" + n) + " lenOut=" + n + " rv=0x0";
    }

    std::string session() const { return std::to_string(s->getSessionId()); }

    // A failure's text: the member's prefix, then what went wrong.
    std::string failed(const std::string& what) const { return GetParam().prefix + what; }
};

TEST_P(SinglePart, InitSizeQueryFinal)
{
    EXPECT_EQ(run("hello").length(), std::stoul(outputLength(5)));
    EXPECT_EQ(operationLines(), (Calls{initLine(), runLine(true), runLine(false)}));
}

TEST_P(SinglePart, SecondInitOnlyWhenAsked)
{
    mock().allow_reinit(1);
    s->setCall2ndInit(true);
    run("hello");
    EXPECT_EQ(operationLines(), (Calls{initLine(), runLine(true), initLine(), runLine(false)}));
    s->setCall2ndInit(false);
    mock().log_clear();
    run("hello");
    EXPECT_EQ(operationLines().size(), 3u);
}

TEST_P(SinglePart, RefusedSecondInitNamed)
{
    s->setCall2ndInit(true);
    const Failure failure = failureOf("hello");
    EXPECT_EQ(failure.message,
              failed("Failed on second call to " + std::string(GetParam().init) + "() - CKR_OPERATION_ACTIVE"));
    EXPECT_EQ(failure.returnValue, CKR_OPERATION_ACTIVE);
}

TEST_P(SinglePart, EachStepsFailureNamed)
{
    const std::string init = GetParam().init;
    const std::string fn = GetParam().run;
    mock().fail(GetParam().init, CKR_MECHANISM_INVALID, 1);
    EXPECT_EQ(failureOf("x").message, failed("Failed on call to " + init + "() - CKR_MECHANISM_INVALID"));
    mock().fail(GetParam().run, CKR_DATA_LEN_RANGE, 1);
    EXPECT_EQ(failureOf("x").message, failed("Failed on call to " + fn + "(NULL_PTR) - CKR_DATA_LEN_RANGE"));
    mock().clear_faults();
    mock().reset();
    s->closeAllSessions();
    s->openSession(CKF_RW_SESSION | CKF_SERIAL_SESSION);
    mock().fail(GetParam().run, CKR_DEVICE_ERROR, 2);
    EXPECT_EQ(failureOf("x").message, failed("Failed on second call to " + fn + "() - CKR_DEVICE_ERROR"));
    EXPECT_TRUE(s->getSessionOpened());
}

TEST_P(SinglePart, ReportedSizeLargerThanOutput)
{
    mock().set_extra_reported_length(3);
    const ByteArray output = run("hello");
    const std::size_t written = std::stoul(outputLength(5));
    if (GetParam().shortened) {
        EXPECT_EQ(output.length(), written);
    } else {
        ASSERT_EQ(output.length(), written + 3);
        EXPECT_EQ(text(output).substr(written), std::string(3, '\0'));
    }
}

TEST_P(SinglePart, UnusableReportedSizeRefused)
{
    mock().set_extra_reported_length(0x80000000UL);
    EXPECT_EQ(failureOf("hello").message, failed("Failed on call to " + std::string(GetParam().run) +
                                                 "(NULL_PTR) - The module reported an unusable length"));
}

TEST_P(SinglePart, ReportedSizeBeyondTheLimitRefusedBeforeAllocating)
{
    const std::string unusable = failed("Failed on call to " + std::string(GetParam().run) +
                                        "(NULL_PTR) - The module reported an unusable length");
    for (const unsigned long extra : {static_cast<unsigned long>(PKCS11Bridge::LengthLimit::kLongest), 0x7FFF0000UL}) {
        // A fresh session: the refused operation stays active in the module.
        s->closeAllSessions();
        s->openSession(CKF_RW_SESSION | CKF_SERIAL_SESSION);
        mock().log_clear();
        mock().set_extra_reported_length(extra);
        const Failure failure = failureOf("hello");
        EXPECT_EQ(failure.message, unusable) << extra;
        EXPECT_EQ(failure.returnValue, 0UL);
        // Only the size query reached the module.
        EXPECT_EQ(linesOf(GetParam().run).size(), 1u) << extra;
    }
}

TEST_P(SinglePart, EachCallUsesItsOwnMechanism)
{
    run("hello", CKM_RSA_PKCS);
    run("hello", CKM_SHA256_RSA_PKCS);
    const std::vector<std::string> inits = linesOf(GetParam().init);
    EXPECT_EQ(inits, (Calls{initLine(CKM_RSA_PKCS), initLine(CKM_SHA256_RSA_PKCS)}));
}

TEST_P(SinglePart, DeviceRemovedMidOperationThenNoSession)
{
    mock().fail(GetParam().run, CKR_DEVICE_REMOVED, 2);
    const Failure failure = failureOf("hello");
    EXPECT_EQ(failure.message,
              failed("Failed on second call to " + std::string(GetParam().run) + "() - CKR_DEVICE_REMOVED"));
    mock().log_clear();
    const Failure next = failureOf("hello");
    EXPECT_EQ(next.message, failed("A session has not been opened !"));
    EXPECT_EQ(next.returnValue, 0u);
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo"}));
}

TEST_P(SinglePart, PulledTokenCaughtBySessionCheck)
{
    mock().set_token_present(P11MOCK_SLOT_A, 0);
    EXPECT_EQ(failureOf("hello").message, failed("A session has not been opened !"));
}

TEST_P(SinglePart, MissingKeyNamedBeforeAnyCryptoCall)
{
    mock().remove_object(GetParam().key);
    const std::string which = GetParam().key == P11MOCK_H_PUB_A ? "PublicKey" : "PrivateKey";
    const Failure failure = failureOf("hello");
    EXPECT_EQ(failure.message, failed("The " + which + " for the supplied Certificate cannot be found"));
    EXPECT_EQ(failure.returnValue, 0u);
    EXPECT_TRUE(operationLines().empty());
}

INSTANTIATE_TEST_SUITE_P(EncryptDecryptSign, SinglePart, ::testing::ValuesIn(operations),
                         [](const ::testing::TestParamInfo<Operation>& info) { return std::string(info.param.name); });

TEST_F(Crypto, EncryptDecryptRoundTripAndUnwrapEqualsDecrypt)
{
    const ByteArray cipherText = s->encryptData(*certificate, bytes("session key bytes"), rsaPkcs);
    EXPECT_NE(text(cipherText), "session key bytes");
    EXPECT_EQ(text(s->decryptData(*certificate, cipherText, rsaPkcs)), "session key bytes");
    EXPECT_EQ(text(s->unwrapKey(*certificate, cipherText, rsaPkcs)), "session key bytes");
}

TEST_F(Crypto, VerifyAnswersTrueAndFalse)
{
    const ByteArray signature = s->signData(*certificate, bytes("document"), CKM_SHA1_RSA_PKCS);
    mock().log_clear();
    EXPECT_TRUE(s->verifyData(*certificate, bytes("document"), signature, CKM_SHA1_RSA_PKCS));
    ByteArray tampered = signature;
    tampered[0] = static_cast<char>(tampered[0] ^ 1);
    EXPECT_FALSE(s->verifyData(*certificate, bytes("document"), tampered, CKM_SHA1_RSA_PKCS));
    EXPECT_FALSE(s->verifyData(*certificate, bytes("other"), signature, CKM_SHA1_RSA_PKCS));
    const std::string session = std::to_string(s->getSessionId());
    EXPECT_EQ(linesStartingWith({"C_Verify"}),
              (Calls{"C_VerifyInit session=" + session + " mechanism=0x6 key=258 rv=0x0",
                     "C_Verify session=" + session + " dataLen=8 sigLen=64 rv=0x0",
                     "C_VerifyInit session=" + session + " mechanism=0x6 key=258 rv=0x0",
                     "C_Verify session=" + session + " dataLen=8 sigLen=64 rv=0xc0",
                     "C_VerifyInit session=" + session + " mechanism=0x6 key=258 rv=0x0",
                     "C_Verify session=" + session + " dataLen=5 sigLen=64 rv=0xc0"}));
}

TEST_F(Crypto, VerifyIgnoresSecondInitFlag)
{
    mock().allow_reinit(1);
    s->setCall2ndInit(true);
    const ByteArray signature = s->signData(*certificate, bytes("document"), rsaPkcs);
    mock().log_clear();
    EXPECT_TRUE(s->verifyData(*certificate, bytes("document"), signature, rsaPkcs));
    EXPECT_EQ(linesStartingWith({"C_Verify", "C_Sign"}).size(), 2u);
}

TEST_F(Crypto, VerifyFailuresNamed)
{
    const ByteArray signature = s->signData(*certificate, bytes("document"), rsaPkcs);
    const Failure wrongLength =
        pkcs11Failure([&] { s->verifyData(*certificate, bytes("document"), signature.subBytes(0, 63), rsaPkcs); });
    EXPECT_EQ(wrongLength.message, "PKCS11Slot::verifyData(const Certificate&, const ByteArray&, const ByteArray&, "
                                   "unsigned int) - Failed on call to C_Verify() - CKR_SIGNATURE_LEN_RANGE");
    const auto verify = [&] { s->verifyData(*certificate, bytes("document"), signature, rsaPkcs); };
    mock().fail("C_VerifyInit", CKR_KEY_TYPE_INCONSISTENT, 1);
    EXPECT_EQ(pkcs11Failure(verify).message,
              "PKCS11Slot::verifyData(const PublicKey&, const ByteArray&, unsigned int) - Failed on call to "
              "C_VerifyInit() - CKR_KEY_TYPE_INCONSISTENT");
    mock().remove_object(P11MOCK_H_PUB_A);
    EXPECT_EQ(pkcs11Failure(verify).message,
              "PKCS11Slot::verifyData(const Certificate&, const ByteArray&, const ByteArray&, unsigned int) - The "
              "PublicKey for the supplied Certificate cannot be found");
}

TEST_F(Crypto, VerifyLosingSessionThenNoSession)
{
    const ByteArray signature = s->signData(*certificate, bytes("document"), rsaPkcs);
    const auto verify = [&] { s->verifyData(*certificate, bytes("document"), signature, rsaPkcs); };
    mock().fail("C_Verify", CKR_SESSION_CLOSED, 1);
    EXPECT_EQ(pkcs11Failure(verify).returnValue, CKR_SESSION_CLOSED);
    EXPECT_EQ(
        pkcs11Failure(verify).message,
        noSession("PKCS11Slot::verifyData(const Certificate&, const ByteArray&, const ByteArray&, unsigned int)"));
}

TEST_F(Crypto, UnwrapMessagesAreItsOwnThenDecrypts)
{
    const ByteArray wrapped = s->encryptData(*certificate, bytes("key"), rsaPkcs);
    mock().remove_object(P11MOCK_H_PRIV_A);
    EXPECT_EQ(pkcs11Failure([&] { s->unwrapKey(*certificate, wrapped, rsaPkcs); }).message,
              "PKCS11Slot::decryptData(const Certificate&, const ByteArray&, unsigned int) - The PrivateKey for the "
              "supplied Certificate cannot be found");
    s->closeSession();
    EXPECT_EQ(pkcs11Failure([&] { s->unwrapKey(*certificate, wrapped, rsaPkcs); }).message,
              noSession("PKCS11Slot::unwrapKey(const Certificate&, const ByteArray&, unsigned int)"));
}

TEST_F(Crypto, NonRsaKeyStillUsed)
{
    const Certificate ec = certificateOf(*s, P11MOCK_CERT_E);
    const ByteArray signature = s->signData(ec, bytes("document"), CKM_ECDSA);
    EXPECT_TRUE(s->verifyData(ec, bytes("document"), signature, CKM_ECDSA));
    EXPECT_EQ(text(s->decryptData(ec, s->encryptData(ec, bytes("abc"), CKM_ECDSA), CKM_ECDSA)), "abc");
}

} // namespace
