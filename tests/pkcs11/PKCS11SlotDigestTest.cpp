// Digest and random numbers in the slot's session.
#include "MockModuleFixture.h"

#include "pkcs11bridge/LengthLimit.h"

#include <cstring>

using JNIBridge::ByteArray;
using namespace PKCS11Test;

namespace {

class SlotDigest : public OpenedSlotTest {};

TEST_F(SlotDigest, Sha1ReturnedWhole)
{
    s->digestInit(CKM_SHA_1);
    s->digestUpdate(bytes("abc"));
    s->digestUpdate(ByteArray());
    const ByteArray digest = s->digestFinal();
    EXPECT_EQ(digest.length(), 20u);
    const std::string session = std::to_string(s->getSessionId());
    EXPECT_EQ(mock().logLines(),
              (Calls{"C_GetSlotInfo slot=2 rv=0x0", "C_DigestInit session=" + session + " mechanism=0x220 rv=0x0",
                     "C_GetSlotInfo slot=2 rv=0x0", "C_DigestUpdate session=" + session + " partLen=3 rv=0x0",
                     "C_GetSlotInfo slot=2 rv=0x0", "C_DigestUpdate session=" + session + " partLen=0 rv=0x0",
                     "C_GetSlotInfo slot=2 rv=0x0",
                     "C_DigestFinal session=" + session + " out=set lenIn=20 lenOut=20 rv=0x0"}));
}

TEST_F(SlotDigest, SameInputSameDigestAcrossRuns)
{
    s->digestInit(CKM_SHA_1);
    s->digestUpdate(bytes("abc"));
    const ByteArray first = s->digestFinal();
    s->digestInit(CKM_SHA_1);
    s->digestUpdate(bytes("ab"));
    s->digestUpdate(bytes("c"));
    const ByteArray second = s->digestFinal();
    ASSERT_EQ(first.length(), second.length());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.length()), 0);
}

TEST_F(SlotDigest, Md5ComesBackAsSixteenBytes)
{
    s->digestInit(CKM_MD5);
    s->digestUpdate(bytes("abc"));
    EXPECT_EQ(s->digestFinal().length(), 16u);
    EXPECT_NE(linesOf("C_DigestFinal").at(0).find("lenIn=20 lenOut=16 rv=0x0"), std::string::npos);
}

TEST_F(SlotDigest, LongerDigestTooSmallForBuffer)
{
    s->digestInit(CKM_SHA256);
    const Failure failure = pkcs11Failure([&] { s->digestFinal(); });
    EXPECT_EQ(failure.message, "PKCS11Slot::digestFinal() - Failed on call to C_DigestFinal() - CKR_BUFFER_TOO_SMALL");
    EXPECT_EQ(failure.returnValue, CKR_BUFFER_TOO_SMALL);
}

TEST_F(SlotDigest, FinalWithoutInit)
{
    EXPECT_EQ(pkcs11Failure([&] { s->digestFinal(); }).message,
              "PKCS11Slot::digestFinal() - Failed on call to C_DigestFinal() - CKR_OPERATION_NOT_INITIALIZED");
}

TEST_F(SlotDigest, InitFailureShowsMechanismSigned)
{
    EXPECT_EQ(pkcs11Failure([&] { s->digestInit(0x80000010UL); }).message,
              "PKCS11Slot::digestInit(unsigned long) - Failed on call to C_DigestInit(-2147483632) - "
              "CKR_MECHANISM_INVALID");
}

TEST_F(SlotDigest, UpdateFailureNamed)
{
    EXPECT_EQ(pkcs11Failure([&] { s->digestUpdate(bytes("x")); }).message,
              "PKCS11Slot::digestUpdate(const ByteArray&) - Failed on call to C_DigestUpdate() - "
              "CKR_OPERATION_NOT_INITIALIZED");
}

class SlotRandom : public OpenedSlotTest {};

TEST_F(SlotRandom, GeneratesRequestedLength)
{
    const ByteArray random = s->generateRandom(16);
    EXPECT_EQ(random.length(), 16u);
    EXPECT_NE(linesOf("C_GenerateRandom").at(0).find("out=set len=16 rv=0x0"), std::string::npos);
    const ByteArray zero(16);
    EXPECT_NE(std::memcmp(random.data(), zero.data(), 16), 0);
}

TEST_F(SlotRandom, ZeroLengthGivesEmpty)
{
    EXPECT_EQ(s->generateRandom(0).length(), 0u);
    EXPECT_NE(linesOf("C_GenerateRandom").at(0).find("len=0 rv=0x0"), std::string::npos);
}

TEST_F(SlotRandom, NegativeJavaLengthRefusedWithoutCall)
{
    const Failure failure = pkcs11Failure([&] { s->generateRandom(static_cast<unsigned int>(-5)); });
    EXPECT_EQ(failure.message, "PKCS11Slot::generateRandom(unsigned int) - Invalid length '-5'");
    EXPECT_EQ(failure.returnValue, 0UL);
    EXPECT_TRUE(calls().empty());
}

TEST_F(SlotRandom, UnallocatableLengthRefusedWithoutCall)
{
    if (sizeof(void*) > 4) {
        GTEST_SKIP() << "a 64-bit process can allocate this much";
    }
    const Failure failure = pkcs11Failure([&] { s->generateRandom(0x7FFFFFF0u); });
    EXPECT_EQ(failure.message, "PKCS11Slot::generateRandom(unsigned int) - Unable to allocate '2147483632' bytes");
    EXPECT_TRUE(calls().empty());
}

TEST_F(SlotRandom, LengthsBeyondTheLimitRefusedWithoutCallOrAllocation)
{
    const unsigned int limit = static_cast<unsigned int>(PKCS11Bridge::LengthLimit::kLongest);
    EXPECT_EQ(limit, 128u * 1024 * 1024);
    const Failure justAbove = pkcs11Failure([&] { s->generateRandom(limit + 1); });
    EXPECT_EQ(justAbove.message, "PKCS11Slot::generateRandom(unsigned int) - Unable to allocate '134217729' bytes");
    EXPECT_EQ(justAbove.returnValue, 0UL);
    const Failure largest = pkcs11Failure([&] { s->generateRandom(2147483647u); });
    EXPECT_EQ(largest.message, "PKCS11Slot::generateRandom(unsigned int) - Unable to allocate '2147483647' bytes");
    EXPECT_TRUE(calls().empty());
    const ByteArray atLimit = s->generateRandom(limit);
    EXPECT_EQ(atLimit.length(), limit);
    EXPECT_EQ(linesOf("C_GenerateRandom").size(), 1u);
}

TEST_F(SlotRandom, TokenWithoutGeneratorRefuses)
{
    auto c = openedSlot(indexC);
    const Failure failure = pkcs11Failure([&] { c->generateRandom(4); });
    EXPECT_EQ(failure.message,
              "PKCS11Slot::generateRandom(unsigned int) - Failed on call to C_GenerateRandom(4) - CKR_RANDOM_NO_RNG");
    EXPECT_TRUE(c->getSessionOpened());
}

TEST_F(SlotRandom, SeedPassedAndMixedIn)
{
    s->seedRandom(bytes("abc"));
    EXPECT_NE(linesOf("C_SeedRandom").at(0).find("seed=616263 seedLen=3 rv=0x0"), std::string::npos);
}

TEST_F(SlotRandom, SeedRefusedShowsSeedTextUpToZeroByte)
{
    auto c = openedSlot(indexC);
    const Failure failure = pkcs11Failure([&] { c->seedRandom(ByteArray("ab\0cd", 0, 5)); });
    EXPECT_EQ(failure.message, "PKCS11Slot::seedRandom(const ByteArray&) - Failed on call to C_SeedRandom(ab, 5) - "
                               "CKR_RANDOM_SEED_NOT_SUPPORTED");
}

TEST_F(SlotRandom, SeedTextNeverReadPastSeed)
{
    auto c = openedSlot(indexC);
    EXPECT_EQ(pkcs11Failure([&] { c->seedRandom(ByteArray("xyzEXTRA", 0, 3)); }).message,
              "PKCS11Slot::seedRandom(const ByteArray&) - Failed on call to C_SeedRandom(xyz, 3) - "
              "CKR_RANDOM_SEED_NOT_SUPPORTED");
}

// A module that claims a 32-byte digest with CKR_OK: the claim cannot be
// trusted past the 20 bytes the module was given.
TEST(SlotDigestOverlong, ReportedLengthBeyondBufferFails)
{
    CK_FUNCTION_LIST functions;
    std::memset(&functions, 0, sizeof functions);
    functions.C_GetSlotInfo = [](CK_SLOT_ID, CK_SLOT_INFO_PTR info) -> CK_RV {
        std::memset(info, 0, sizeof *info);
        info->flags = CKF_TOKEN_PRESENT;
        return CKR_OK;
    };
    functions.C_OpenSession = [](CK_SLOT_ID, CK_FLAGS, CK_VOID_PTR, CK_NOTIFY, CK_SESSION_HANDLE_PTR session) -> CK_RV {
        *session = 7;
        return CKR_OK;
    };
    functions.C_DigestFinal = [](CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR length) -> CK_RV {
        *length = 32;
        return CKR_OK;
    };
    PKCS11Bridge::PKCS11Slot s(&functions, 1);
    s.openSession(CKF_SERIAL_SESSION);
    EXPECT_EQ(indexFailure([&] { s.digestFinal(); }),
              "ByteArray::subBytes(int, int) - offset + length '32' is out of bounds (0, 20)");
}

} // namespace
