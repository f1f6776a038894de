// Certificate listing and deletion, object deletion and token info.
#include "MockModuleFixture.h"

#include "pkcs11bridge/Certificates.h"
#include "pkcs11bridge/PKCS11TokenInfo.h"

using PKCS11Bridge::Certificate;
using PKCS11Bridge::Certificates;
using PKCS11Bridge::PKCS11TokenInfo;
using namespace PKCS11Test;

namespace {

class CertificateListing : public OpenedSlotTest {};

TEST_F(CertificateListing, ReadsIdThenValueOfEachInOrder)
{
    mock().remove_object(P11MOCK_H_CERT_NOID);
    const Certificates certificates = s->getCertificates(CKC_X_509);
    ASSERT_EQ(certificates.size(), 3u);
    const struct {
        CK_OBJECT_HANDLE handle;
        const char* value;
        const char* id;
    } expected[] = {{P11MOCK_H_CERT_A, P11MOCK_CERT_A, P11MOCK_ID_A},
                    {P11MOCK_H_CERT_E, P11MOCK_CERT_E, P11MOCK_ID_E},
                    {P11MOCK_H_CERT_B, P11MOCK_CERT_B, P11MOCK_ID_B}};
    for (unsigned int i = 0; i < 3; ++i) {
        const Certificate& certificate = certificates.getCertificate(i);
        EXPECT_EQ(certificate.getHandle(), expected[i].handle);
        EXPECT_EQ(text(certificate.getValue()), expected[i].value);
        EXPECT_EQ(text(certificate.getId()), expected[i].id);
    }
    const std::vector<std::string> reads = linesOf("C_GetAttributeValue");
    ASSERT_EQ(reads.size(), 12u);
    EXPECT_NE(reads[0].find("object=257 attrs=[0x102:NULL"), std::string::npos);
    EXPECT_NE(reads[2].find("object=257 attrs=[0x11:NULL"), std::string::npos);
    EXPECT_NE(reads[4].find("object=261 attrs=[0x102:NULL"), std::string::npos);
    EXPECT_NE(linesOf("C_FindObjectsInit").at(0).find("template=[0x0=1,0x80=0] "), std::string::npos);
}

TEST_F(CertificateListing, OtherTypeFindsNone)
{
    EXPECT_EQ(s->getCertificates(1).size(), 0u);
}

TEST_F(CertificateListing, CertificateWithoutIdFailsTheListing)
{
    const Failure failure = pkcs11Failure([&] { s->getCertificates(CKC_X_509); });
    EXPECT_EQ(failure.message, "PKCS11Slot::getCertificates(unsigned long) - " + kBytesReader +
                                   "Failed on call to C_GetAttributeValue('258" + kTypeInvalid);
    EXPECT_EQ(failure.returnValue, 0u);
    EXPECT_TRUE(s->getSessionOpened());
}

TEST_F(CertificateListing, LostSessionDuringListingForgotten)
{
    auto c = openedSlot(indexC);
    mock().fail("C_FindObjects", CKR_DEVICE_REMOVED, 1);
    EXPECT_EQ(
        pkcs11Failure([&] { c->getCertificates(CKC_X_509); }).message,
        "PKCS11Slot::getCertificates(unsigned long) - PKCS11Slot::findObjects(const PKCS11Attributes&) - Failed on "
        "call to C_FindObjects() - CKR_DEVICE_REMOVED");
    EXPECT_FALSE(c->getSessionOpened());
    mock().log_clear();
    EXPECT_EQ(pkcs11Failure([&] { c->getCertificates(CKC_X_509); }).message,
              noSession("PKCS11Slot::getCertificates(unsigned long)"));
    EXPECT_EQ(calls(), (Calls{"C_GetSlotInfo"}));
}

TEST_F(CertificateListing, LostSessionWhileReadingForgotten)
{
    auto c = openedSlot(indexC);
    mock().fail("C_GetAttributeValue", CKR_SESSION_CLOSED, 3);
    EXPECT_EQ(pkcs11Failure([&] { c->getCertificates(CKC_X_509); }).message,
              "PKCS11Slot::getCertificates(unsigned long) - " + kBytesReader +
                  "Failed on call to C_GetAttributeValue('17') - CKR_SESSION_CLOSED");
    EXPECT_FALSE(c->getSessionOpened());
}

class Deletion : public OpenedSlotTest {
protected:
    static std::vector<std::string> destroyed()
    {
        std::vector<std::string> objects;
        for (const std::string& line : linesOf("C_DestroyObject")) {
            const std::size_t at = line.find("object=") + 7;
            objects.push_back(line.substr(at, line.find(' ', at) - at));
        }
        return objects;
    }
};

TEST_F(Deletion, KeysFirstThenCertificate)
{
    const Certificate certificate = certificateOf(*s, P11MOCK_CERT_A);
    s->deleteCertificate(certificate, true, true);
    EXPECT_EQ(destroyed(), (Calls{"258", "259", "257"}));
    EXPECT_FALSE(mock().object_exists(P11MOCK_H_CERT_A));
    EXPECT_FALSE(mock().object_exists(P11MOCK_H_PUB_A));
    EXPECT_FALSE(mock().object_exists(P11MOCK_H_PRIV_A));
}

TEST_F(Deletion, EachFlagAlone)
{
    s->deleteCertificate(certificateOf(*s, P11MOCK_CERT_A), false, false);
    s->deleteCertificate(certificateOf(*s, P11MOCK_CERT_E), true, false);
    s->deleteCertificate(certificateOf(*s, P11MOCK_CERT_B), false, true);
    EXPECT_EQ(destroyed(), (Calls{"257", "262", "261", "266", "265"}));
    EXPECT_TRUE(mock().object_exists(P11MOCK_H_PUB_A));
    EXPECT_TRUE(mock().object_exists(P11MOCK_H_PRIV_E));
}

TEST_F(Deletion, MissingPublicKeySkipped)
{
    s->deleteCertificate(certificateOf(*s, P11MOCK_CERT_B), true, true);
    EXPECT_EQ(destroyed(), (Calls{"266", "265"}));
}

TEST_F(Deletion, FailureStopsTheRest)
{
    const Certificate certificate = certificateOf(*s, P11MOCK_CERT_A);
    mock().fail("C_DestroyObject", CKR_GENERAL_ERROR, 2);
    EXPECT_EQ(pkcs11Failure([&] { s->deleteCertificate(certificate, true, true); }).message,
              "PKCS11Slot::deleteObject(unsigned long) - Failed on call to C_DestroyObject() - CKR_GENERAL_ERROR");
    EXPECT_FALSE(mock().object_exists(P11MOCK_H_PUB_A));
    EXPECT_TRUE(mock().object_exists(P11MOCK_H_PRIV_A));
    EXPECT_TRUE(mock().object_exists(P11MOCK_H_CERT_A));
    EXPECT_EQ(linesOf("C_DestroyObject").size(), 2u);
}

TEST_F(Deletion, ObjectByHandle)
{
    s->deleteObject(P11MOCK_H_DATA);
    EXPECT_FALSE(mock().object_exists(P11MOCK_H_DATA));
    const Failure gone = pkcs11Failure([&] { s->deleteObject(P11MOCK_H_DATA); });
    EXPECT_EQ(
        gone.message,
        "PKCS11Slot::deleteObject(unsigned long) - Failed on call to C_DestroyObject() - CKR_OBJECT_HANDLE_INVALID");
    EXPECT_EQ(gone.returnValue, CKR_OBJECT_HANDLE_INVALID);
    EXPECT_TRUE(s->getSessionOpened());
}

TEST_F(Deletion, RemovedDeviceEndsSession)
{
    mock().fail("C_DestroyObject", CKR_DEVICE_REMOVED, 1);
    EXPECT_TRUE(pkcs11Failure([&] { s->deleteObject(P11MOCK_H_DATA); }).raised);
    EXPECT_EQ(pkcs11Failure([&] { s->deleteObject(P11MOCK_H_DATA); }).message,
              noSession("PKCS11Slot::deleteObject(unsigned long)"));
    EXPECT_TRUE(mock().object_exists(P11MOCK_H_DATA));
}

class TokenInfo : public MockModuleTest {};

TEST_F(TokenInfo, FullFixedWidthFieldsWithoutSession)
{
    const PKCS11TokenInfo info(*s);
    EXPECT_EQ(std::string(info.getLabel().c_str()), P11MOCK_LABEL_A);
    EXPECT_EQ(info.getLabel().length(), 32u);
    EXPECT_EQ(std::string(info.getManufacturerID().c_str()), P11MOCK_MANUFACTURER);
    EXPECT_EQ(std::string(info.getModel().c_str()), P11MOCK_MODEL_A);
    EXPECT_EQ(std::string(info.getSerialNumber().c_str()), P11MOCK_SERIAL_A);
    EXPECT_TRUE(info.getHasRNG());
    EXPECT_TRUE(info.getLoginRequired());
    EXPECT_EQ(info.getSessionCount(), 0u);
    EXPECT_EQ(mock().logLines(), (Calls{"C_GetTokenInfo slot=2 rv=0x0"}));
}

TEST_F(TokenInfo, FlagsAndSessionCountFollowTheToken)
{
    auto c = openedSlot(indexC);
    mock().set_token_info(P11MOCK_SLOT_C, "Eight ch", nullptr, nullptr, nullptr);
    const PKCS11TokenInfo info(*c);
    EXPECT_EQ(std::string(info.getLabel().c_str()), "Eight ch                        ");
    EXPECT_FALSE(info.getHasRNG());
    EXPECT_TRUE(info.getLoginRequired());
    EXPECT_EQ(info.getSessionCount(), 1u);
    mock().set_token_flags(P11MOCK_SLOT_C, CKF_RNG);
    const PKCS11TokenInfo changed(*c);
    EXPECT_TRUE(changed.getHasRNG());
    EXPECT_FALSE(changed.getLoginRequired());
}

TEST_F(TokenInfo, RefusalNamedAndSessionKept)
{
    openedSlot(indexA);
    mock().fail("C_GetTokenInfo", CKR_DEVICE_REMOVED, 1);
    const Failure failure = pkcs11Failure([&] { PKCS11TokenInfo info(*s); });
    EXPECT_EQ(failure.message, "PKCS11TokenInfo::PKCS11TokenInfo(const PKCS11Slot&) - Failed on call to "
                               "C_GetTokenInfo() - CKR_DEVICE_REMOVED");
    EXPECT_TRUE(s->getSessionOpened());
}

} // namespace
