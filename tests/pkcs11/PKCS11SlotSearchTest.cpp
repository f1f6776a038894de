// Attribute readers, templates and object, certificate and key search.
#include "MockModuleFixture.h"

#include "pkcs11bridge/Certificates.h"
#include "pkcs11bridge/PKCS11Attribute.h"
#include "pkcs11bridge/PKCS11Attributes.h"

using JNIBridge::ByteArray;
using JNIBridge::LongArray;
using JNIBridge::SmartPointer;
using PKCS11Bridge::Certificate;
using PKCS11Bridge::PKCS11Attribute;
using PKCS11Bridge::PKCS11Attributes;
using PKCS11Bridge::PKCS11Slot;
using PKCS11Bridge::PrivateKey;
using PKCS11Bridge::PublicKey;
using namespace PKCS11Test;

namespace {

const std::string ulongSize = std::to_string(sizeof(CK_ULONG));

template <class T>
Failure readFailure(PKCS11Slot& s, CK_OBJECT_HANDLE object, unsigned long type)
{
    return pkcs11Failure([&] { PKCS11Attribute<T>::getAttribute(&s, object, type); });
}

class AttributeReaders : public OpenedSlotTest {};

TEST_F(AttributeReaders, FixedSizeValuesUseTheirTypesOwnSize)
{
    EXPECT_EQ(PKCS11Attribute<unsigned long>::getAttribute(s.get(), P11MOCK_H_PUB_E, CKA_KEY_TYPE), CKK_EC);
    EXPECT_TRUE(PKCS11Attribute<bool>::getAttribute(s.get(), P11MOCK_H_PRIV_A, CKA_SIGN));
    const std::string session = std::to_string(s->getSessionId());
    EXPECT_EQ(mock().logLines(),
              (Calls{"C_GetAttributeValue session=" + session + " object=262 attrs=[0x100:set:" + ulongSize + ":" +
                         ulongSize + "] rv=0x0",
                     "C_GetAttributeValue session=" + session + " object=259 attrs=[0x108:set:1:1] rv=0x0"}));
}

TEST_F(AttributeReaders, BoolIsAnyNonZeroByte)
{
    const unsigned char two = 2;
    const unsigned char zero = 0;
    mock().set_attribute(P11MOCK_H_PUB_A, CKA_VERIFY, &two, 1);
    mock().set_attribute(P11MOCK_H_PUB_A, CKA_ENCRYPT, &zero, 1);
    EXPECT_TRUE(PKCS11Attribute<bool>::getAttribute(s.get(), P11MOCK_H_PUB_A, CKA_VERIFY));
    EXPECT_FALSE(PKCS11Attribute<bool>::getAttribute(s.get(), P11MOCK_H_PUB_A, CKA_ENCRYPT));
}

TEST_F(AttributeReaders, ByteStringInTwoCalls)
{
    EXPECT_EQ(text(PKCS11Attribute<ByteArray>::getAttribute(s.get(), P11MOCK_H_CERT_A, CKA_VALUE)), P11MOCK_CERT_A);
    const std::string session = std::to_string(s->getSessionId());
    EXPECT_EQ(mock().logLines(),
              (Calls{"C_GetAttributeValue session=" + session + " object=257 attrs=[0x11:NULL:0:18] rv=0x0",
                     "C_GetAttributeValue session=" + session + " object=257 attrs=[0x11:set:18:18] rv=0x0"}));
}

TEST_F(AttributeReaders, EmptyByteStringStillTwoCalls)
{
    mock().set_attribute(P11MOCK_H_DATA, CKA_ID, nullptr, 0);
    EXPECT_EQ(PKCS11Attribute<ByteArray>::getAttribute(s.get(), P11MOCK_H_DATA, CKA_ID).length(), 0u);
    EXPECT_EQ(calls(), (Calls{"C_GetAttributeValue", "C_GetAttributeValue"}));
}

TEST_F(AttributeReaders, FailureMessagesNameReaderAndAttribute)
{
    EXPECT_EQ(readFailure<bool>(*s, P11MOCK_H_PUB_E, CKA_ENCRYPT).message,
              kBoolReader + "Failed on call to C_GetAttributeValue('260" + kTypeInvalid);
    EXPECT_EQ(readFailure<unsigned long>(*s, P11MOCK_H_DATA, CKA_KEY_TYPE).message,
              kUlongReader + "Failed on call to C_GetAttributeValue('256" + kTypeInvalid);
    const Failure first = readFailure<ByteArray>(*s, P11MOCK_H_DATA, CKA_ID);
    EXPECT_EQ(first.message, kBytesReader + "Failed on call to C_GetAttributeValue('258" + kTypeInvalid);
    EXPECT_EQ(first.returnValue, CKR_ATTRIBUTE_TYPE_INVALID);
    mock().fail("C_GetAttributeValue", CKR_DEVICE_ERROR, 2);
    EXPECT_EQ(readFailure<ByteArray>(*s, P11MOCK_H_CERT_A, CKA_ID).message,
              "PKCS11Attribute<ByteArray>::getAttribute(PKCS11Slot *, unsigned long, unsigned long) - Failed on second "
              "call to C_GetAttributeValue('258') - CKR_DEVICE_ERROR");
}

TEST_F(AttributeReaders, VendorDefinedTypeShownUnsigned)
{
    const unsigned long vendorType = CKA_VENDOR_DEFINED | 1; // 2147483649
    const std::string failed = "Failed on call to C_GetAttributeValue('2147483649" + kTypeInvalid;
    EXPECT_EQ(readFailure<bool>(*s, P11MOCK_H_PUB_A, vendorType).message, kBoolReader + failed);
    EXPECT_EQ(readFailure<unsigned long>(*s, P11MOCK_H_PUB_A, vendorType).message, kUlongReader + failed);
    EXPECT_EQ(readFailure<ByteArray>(*s, P11MOCK_H_PUB_A, vendorType).message, kBytesReader + failed);
}

TEST_F(AttributeReaders, ReadersLeaveSessionFlagAlone)
{
    mock().fail("C_GetAttributeValue", CKR_DEVICE_REMOVED, 1);
    EXPECT_TRUE(readFailure<bool>(*s, P11MOCK_H_PUB_A, CKA_VERIFY).raised);
    EXPECT_TRUE(s->getSessionOpened());
}

TEST(PKCS11AttributesTemplate, FlatCopyInListOrder)
{
    const CK_ULONG classValue = CKO_CERTIFICATE;
    const ByteArray id = bytes("ID-A");
    const PKCS11Attribute<unsigned long> classAttribute(CKA_CLASS, &classValue);
    const PKCS11Attribute<ByteArray> idAttribute(CKA_ID, id);
    PKCS11Attributes attributes;
    EXPECT_EQ(attributes.add(idAttribute).add(classAttribute).count(), 2u);
    const SmartPointer<void> records = attributes.toTemplate();
    const CK_ATTRIBUTE* flat = static_cast<const CK_ATTRIBUTE*>(records.get());
    EXPECT_EQ(flat[0].type, CKA_ID);
    EXPECT_EQ(flat[0].pValue, id.data());
    EXPECT_EQ(flat[0].ulValueLen, 4u);
    EXPECT_EQ(flat[1].type, CKA_CLASS);
    EXPECT_EQ(flat[1].pValue, &classValue);
    EXPECT_EQ(flat[1].ulValueLen, sizeof(CK_ULONG));
}

class ObjectSearch : public OpenedSlotTest {
protected:
    const CK_ULONG certificateClass = CKO_CERTIFICATE;
    const PKCS11Attribute<unsigned long> certificates{CKA_CLASS, &certificateClass};
    const CK_ULONG noClass = 0x7777;
    const PKCS11Attribute<unsigned long> nothing{CKA_CLASS, &noClass};
};

TEST_F(ObjectSearch, FindObjectAsksForOneAndTakesTheFirst)
{
    EXPECT_EQ(s->findObject(PKCS11Attributes().add(certificates)), P11MOCK_H_CERT_A);
    const std::string session = std::to_string(s->getSessionId());
    EXPECT_EQ(mock().logLines(), (Calls{"C_FindObjectsInit session=" + session + " template=[0x0=1] rv=0x0",
                                        "C_FindObjects session=" + session + " max=1 found=1 objects=257 rv=0x0",
                                        "C_FindObjectsFinal session=" + session + " rv=0x0"}));
}

TEST_F(ObjectSearch, NothingFoundIsZeroAndStillFinalised)
{
    EXPECT_EQ(s->findObject(PKCS11Attributes().add(nothing)), CK_INVALID_HANDLE);
    EXPECT_EQ(s->findObjects(PKCS11Attributes().add(nothing)).length(), 0u);
    EXPECT_EQ(calls(), (Calls{"C_FindObjectsInit", "C_FindObjects", "C_FindObjectsFinal", "C_FindObjectsInit",
                              "C_FindObjects", "C_FindObjectsFinal"}));
}

TEST_F(ObjectSearch, FindObjectsMakesOneCallMoreThanObjects)
{
    const LongArray handles = s->findObjects(PKCS11Attributes().add(certificates));
    ASSERT_EQ(handles.length(), 4u);
    EXPECT_EQ(handles[0], P11MOCK_H_CERT_A);
    EXPECT_EQ(handles[1], P11MOCK_H_CERT_NOID);
    EXPECT_EQ(handles[2], P11MOCK_H_CERT_E);
    EXPECT_EQ(handles[3], P11MOCK_H_CERT_B);
    const std::vector<std::string> finds = linesOf("C_FindObjects");
    ASSERT_EQ(finds.size(), 5u);
    for (const std::string& line : finds) {
        EXPECT_NE(line.find(" max=1 "), std::string::npos) << line;
    }
    EXPECT_NE(finds[4].find("found=0 objects= rv=0x0"), std::string::npos) << finds[4];
    EXPECT_EQ(calls().back(), "C_FindObjectsFinal");
}

TEST_F(ObjectSearch, FindObjectsByClassUsesClassAlone)
{
    const LongArray handles = s->findObjectsByClass(CKO_DATA);
    ASSERT_EQ(handles.length(), 1u);
    EXPECT_EQ(handles[0], P11MOCK_H_DATA);
    EXPECT_NE(linesOf("C_FindObjectsInit").at(0).find("template=[0x0=0] "), std::string::npos);
}

// One refused step of a search, by findObject (single) or findObjects, and
// the member the failure names. A failing C_FindObjects is not finalised; a
// refused C_FindObjectsFinal leaves the module's search active, so each row
// runs in a session of its own.
struct SearchFault {
    const char* function;
    CK_RV rv;
    const char* rvName;
    unsigned long nth;
    bool single;
    const char* member;
    Calls calls; // left unchecked when empty
};

class SearchFaults : public ObjectSearch, public ::testing::WithParamInterface<SearchFault> {};

TEST_P(SearchFaults, NamedAndSessionKept)
{
    const SearchFault& f = GetParam();
    mock().fail(f.function, f.rv, f.nth);
    const Failure failure = pkcs11Failure([&] {
        f.single ? (void)s->findObject(PKCS11Attributes().add(certificates))
                 : (void)s->findObjects(PKCS11Attributes().add(certificates));
    });
    EXPECT_EQ(failure.message, std::string("PKCS11Slot::") + f.member +
                                   "(const PKCS11Attributes&) - Failed on call to " + f.function + "() - " + f.rvName);
    if (!f.calls.empty()) {
        EXPECT_EQ(calls(), f.calls);
    }
    EXPECT_TRUE(s->getSessionOpened());
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, SearchFaults,
    ::testing::Values(
        SearchFault{"C_FindObjects", CKR_DEVICE_ERROR, "CKR_DEVICE_ERROR", 1, true, "findSingleObject",
                    Calls{"C_FindObjectsInit", "C_FindObjects"}},
        SearchFault{"C_FindObjects", CKR_DEVICE_ERROR, "CKR_DEVICE_ERROR", 2, false, "findObjects",
                    Calls{"C_FindObjectsInit", "C_FindObjects", "C_FindObjects"}},
        SearchFault{"C_FindObjectsInit", CKR_OPERATION_ACTIVE, "CKR_OPERATION_ACTIVE", 1, true, "findObject", {}},
        SearchFault{"C_FindObjectsInit", CKR_OPERATION_ACTIVE, "CKR_OPERATION_ACTIVE", 1, false, "findObjects", {}},
        SearchFault{"C_FindObjectsFinal", CKR_GENERAL_ERROR, "CKR_GENERAL_ERROR", 1, true, "findSingleObject", {}},
        SearchFault{"C_FindObjectsFinal", CKR_GENERAL_ERROR, "CKR_GENERAL_ERROR", 1, false, "findObjects", {}}));

TEST_F(ObjectSearch, LostSessionForgottenOnEachFindCall)
{
    for (const char* function : {"C_FindObjectsInit", "C_FindObjects", "C_FindObjectsFinal"}) {
        for (CK_RV lost : {CKR_DEVICE_REMOVED, CKR_SESSION_CLOSED}) {
            mock().reset();
            auto fresh = openedSlot(indexA);
            mock().fail(function, lost, 1);
            const Failure failure = pkcs11Failure([&] { fresh->findObjects(PKCS11Attributes().add(certificates)); });
            EXPECT_EQ(failure.returnValue, lost) << function;
            EXPECT_FALSE(fresh->getSessionOpened()) << function;
        }
    }
}

class CertificateAndKeySearch : public OpenedSlotTest {};

TEST_F(CertificateAndKeySearch, CertificateFoundByTypeAndValue)
{
    const SmartPointer<Certificate> found = s->findCertificate(CKC_X_509, bytes(P11MOCK_CERT_A));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->getHandle(), P11MOCK_H_CERT_A);
    EXPECT_EQ(text(found->getId()), P11MOCK_ID_A);
    EXPECT_EQ(text(found->getValue()), P11MOCK_CERT_A);
    EXPECT_EQ(linesOf("C_FindObjectsInit").at(0),
              "C_FindObjectsInit session=" + std::to_string(s->getSessionId()) +
                  " template=[0x0=1,0x80=0,0x11=" + P11MockControl::hex(P11MOCK_CERT_A) + "] rv=0x0");
    EXPECT_FALSE(s->findCertificate(CKC_X_509, bytes("not on the token")));
    EXPECT_FALSE(s->findCertificate(1, bytes(P11MOCK_CERT_A)));
}

TEST_F(CertificateAndKeySearch, CertificateFailuresWrappedWithoutReturnValue)
{
    const Failure noId = pkcs11Failure([&] { s->findCertificate(CKC_X_509, bytes(P11MOCK_CERT_NOID)); });
    EXPECT_EQ(noId.message, "PKCS11Slot::findCertificate(const ByteArray&) - " + kBytesReader +
                                "Failed on call to C_GetAttributeValue('258" + kTypeInvalid);
    EXPECT_EQ(noId.returnValue, 0u);
    EXPECT_TRUE(s->getSessionOpened());

    mock().fail("C_FindObjectsInit", CKR_DEVICE_REMOVED, 1);
    const Failure removed = pkcs11Failure([&] { s->findCertificate(CKC_X_509, bytes(P11MOCK_CERT_A)); });
    EXPECT_EQ(removed.message, "PKCS11Slot::findCertificate(const ByteArray&) - PKCS11Slot::findObject(const "
                               "PKCS11Attributes&) - Failed on call to C_FindObjectsInit() - CKR_DEVICE_REMOVED");
    EXPECT_EQ(removed.returnValue, 0u);
    EXPECT_FALSE(s->getSessionOpened());
}

TEST_F(CertificateAndKeySearch, LostSessionWhileReadingIdForgotten)
{
    mock().fail("C_GetAttributeValue", CKR_SESSION_CLOSED, 1);
    EXPECT_TRUE(pkcs11Failure([&] { s->findCertificate(CKC_X_509, bytes(P11MOCK_CERT_A)); }).raised);
    EXPECT_FALSE(s->getSessionOpened());
    EXPECT_EQ(pkcs11Failure([&] { s->findCertificate(CKC_X_509, bytes(P11MOCK_CERT_A)); }).message,
              noSession("PKCS11Slot::findCertificate(unsigned long, const ByteArray&)"));
}

TEST_F(CertificateAndKeySearch, KeyByClassAndId)
{
    EXPECT_EQ(s->findKey(CKO_PUBLIC_KEY, bytes(P11MOCK_ID_A)), P11MOCK_H_PUB_A);
    EXPECT_EQ(s->findKey(CKO_PRIVATE_KEY, bytes(P11MOCK_ID_A)), P11MOCK_H_PRIV_A);
    EXPECT_EQ(s->findKey(CKO_PUBLIC_KEY, bytes(P11MOCK_ID_B)), CK_INVALID_HANDLE);
    EXPECT_EQ(linesOf("C_FindObjectsInit").at(0), "C_FindObjectsInit session=" + std::to_string(s->getSessionId()) +
                                                      " template=[0x0=2,0x102=" + P11MockControl::hex(P11MOCK_ID_A) +
                                                      "] rv=0x0");
}

TEST_F(CertificateAndKeySearch, RsaKeysReadAllFlags)
{
    const Certificate certificate = certificateOf(*s, P11MOCK_CERT_A);
    mock().log_clear();
    const SmartPointer<PublicKey> publicKey = s->findPublicKey(certificate);
    ASSERT_TRUE(publicKey);
    EXPECT_EQ(publicKey->getHandle(), P11MOCK_H_PUB_A);
    EXPECT_EQ(text(publicKey->getId()), P11MOCK_ID_A);
    EXPECT_TRUE(publicKey->getSupportsEncryption());
    EXPECT_TRUE(publicKey->getSupportsVerification());
    const SmartPointer<PrivateKey> privateKey = s->findPrivateKey(certificate);
    ASSERT_TRUE(privateKey);
    EXPECT_EQ(privateKey->getHandle(), P11MOCK_H_PRIV_A);
    EXPECT_TRUE(privateKey->getSupportsDecryption());
    EXPECT_TRUE(privateKey->getSupportsSigning());
    const std::vector<std::string> reads = linesOf("C_GetAttributeValue");
    ASSERT_EQ(reads.size(), 10u);
    // CKA_ID of the certificate read afresh, then type and the two flags.
    EXPECT_NE(reads[0].find("object=257 attrs=[0x102:NULL"), std::string::npos);
    EXPECT_NE(reads[2].find("object=258 attrs=[0x100:"), std::string::npos);
    EXPECT_NE(reads[3].find("object=258 attrs=[0x104:"), std::string::npos);
    EXPECT_NE(reads[4].find("object=258 attrs=[0x10a:"), std::string::npos);
    EXPECT_NE(reads[8].find("object=259 attrs=[0x105:"), std::string::npos);
    EXPECT_NE(reads[9].find("object=259 attrs=[0x108:"), std::string::npos);
}

TEST_F(CertificateAndKeySearch, NonRsaKeysNeverReadEncryptOrDecrypt)
{
    const Certificate certificate = certificateOf(*s, P11MOCK_CERT_E);
    mock().log_clear();
    const SmartPointer<PublicKey> publicKey = s->findPublicKey(certificate);
    const SmartPointer<PrivateKey> privateKey = s->findPrivateKey(certificate);
    ASSERT_TRUE(publicKey);
    ASSERT_TRUE(privateKey);
    EXPECT_FALSE(publicKey->getSupportsEncryption());
    EXPECT_TRUE(publicKey->getSupportsVerification());
    EXPECT_FALSE(privateKey->getSupportsDecryption());
    EXPECT_TRUE(privateKey->getSupportsSigning());
    const std::string log = mock().log();
    EXPECT_EQ(log.find("[0x104:"), std::string::npos);
    EXPECT_EQ(log.find("[0x105:"), std::string::npos);
    EXPECT_NE(log.find("object=262 attrs=[0x10a:"), std::string::npos);
    EXPECT_NE(log.find("object=263 attrs=[0x108:"), std::string::npos);
}

TEST_F(CertificateAndKeySearch, MissingKeyIsEmptyPointer)
{
    const Certificate certificate = certificateOf(*s, P11MOCK_CERT_B);
    EXPECT_FALSE(s->findPublicKey(certificate));
    EXPECT_TRUE(s->findPrivateKey(certificate));
}

TEST_F(CertificateAndKeySearch, UnreadableFlagFailsTheSearch)
{
    const Certificate certificate = certificateOf(*s, P11MOCK_CERT_A);
    mock().remove_attribute(P11MOCK_H_PUB_A, CKA_VERIFY);
    EXPECT_EQ(pkcs11Failure([&] { s->findPublicKey(certificate); }).message,
              kBoolReader + "Failed on call to C_GetAttributeValue('266" + kTypeInvalid);
}

TEST_F(CertificateAndKeySearch, NoSessionMessages)
{
    const Certificate certificate = certificateOf(*s, P11MOCK_CERT_A);
    s->closeSession();
    mock().log_clear();
    const std::pair<std::function<void()>, std::string> members[] = {
        {[&] { s->findKey(CKO_PUBLIC_KEY, bytes(P11MOCK_ID_A)); }, "findKey(unsigned long, const ByteArray&)"},
        {[&] { s->findCertificate(CKC_X_509, bytes(P11MOCK_CERT_A)); },
         "findCertificate(unsigned long, const ByteArray&)"},
        {[&] { s->findPublicKey(certificate); }, "findPublicKey(const Certificate&)"},
        {[&] { s->findPrivateKey(certificate); }, "findPrivateKey(const Certificate&)"},
    };
    for (const auto& member : members) {
        const Failure failure = pkcs11Failure(member.first);
        EXPECT_EQ(failure.message, noSession("PKCS11Slot::" + member.second));
        EXPECT_EQ(failure.returnValue, 0u) << member.second;
    }
    EXPECT_EQ(calls(), (Calls(4, "C_GetSlotInfo")));
}

TEST(CertificatesList, BoundsCheckedIndex)
{
    PKCS11Bridge::Certificates certificates;
    EXPECT_EQ(indexFailure([&] { certificates.getCertificate(0); }),
              "Certificates::getCertificate(unsigned int) - index '0' is out of bounds (0, -1)");
    certificates.add(Certificate(bytes("first"), 1, bytes("1")));
    certificates.add(Certificate(bytes("second"), 2, bytes("2")));
    EXPECT_EQ(certificates.size(), 2u);
    EXPECT_EQ(text(certificates.getCertificate(1).getValue()), "second");
    EXPECT_EQ(certificates.getCertificate(1).getHandle(), 2u);
    EXPECT_EQ(indexFailure([&] { certificates.getCertificate(2); }),
              "Certificates::getCertificate(unsigned int) - index '2' is out of bounds (0, 1)");
}

} // namespace
