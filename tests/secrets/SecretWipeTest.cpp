// PINs, keys and plain text leave no trace in memory the library gives back:
// tagged blocks must be all zeros when released, and no released block may
// hold a watched secret. The hooks themselves are checked first, so a change
// in how the library allocates cannot make these tests pass unseen.
#include "HostVM.h"
#include "P11MockControl.h"
#include "SecretWatch.h"

#include "capi/SecureBuffer.h"
#include "jnibridge/ByteArray.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/JString.h"
#include "jnibridge/String.h"
#include "pkcs11bridge/Certificate.h"
#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11Slot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>

using JNIBridge::ByteArray;
using JNIBridge::String;

namespace {

const char pin[] = "PIN-7q2Xw9!rZ";
const char key[] = "KEY:3f9a77c1e2b04d58aa";
const char plain[] = "PLAIN:wire 9 400 EUR to IBAN";

ByteArray bytes(const char* text)
{
    return ByteArray(text, 0, static_cast<unsigned int>(std::strlen(text)));
}

// Compares in place: a std::string copy would itself leave the secret behind.
bool holds(const ByteArray& array, const char* text)
{
    return array.length() == std::strlen(text) && std::memcmp(array.data(), text, array.length()) == 0;
}

::testing::AssertionResult wipedOnRelease(int ticket)
{
    if (ticket < 0) {
        return ::testing::AssertionFailure() << "no room left to tag a block";
    }
    const SecretWatch::Outcome o = SecretWatch::outcome(ticket);
    if (!o.released) {
        return ::testing::AssertionFailure() << "the tagged block was never released through operator delete";
    }
    if (!o.wiped) {
        return ::testing::AssertionFailure() << "the tagged block of " << o.size << " bytes was released unwiped";
    }
    return ::testing::AssertionSuccess();
}

P11MockControl& mock()
{
    static P11MockControl* control = new P11MockControl(P11MOCK_MODULE_PATH);
    return *control;
}

// The mock module in its default fixture, initialised. Its crypto writes
// straight into the caller's buffer, so it puts no plain text on the heap.
CK_FUNCTION_LIST_PTR freshModule()
{
    mock().reset();
    mock().set_initialized(1);
    CK_FUNCTION_LIST_PTR functions = nullptr;
    reinterpret_cast<CK_C_GetFunctionList>(mock().symbol("C_GetFunctionList"))(&functions);
    return functions;
}

// Runs work while watching for secret; returns the number of released blocks that still held it.
int sightingsDuring(const char* secret, const std::function<void()>& work)
{
    SecretWatch::watchFor(secret, std::strlen(secret));
    work();
    const int seen = SecretWatch::sightings();
    SecretWatch::stopWatching();
    return seen;
}

} // namespace

TEST(SecretWatchHooks, SeeUnwipedBlocksAndCopies)
{
    char* raw = new char[32];
    std::memcpy(raw, key, sizeof key);
    const int ticket = SecretWatch::tag(raw);
    EXPECT_EQ(sightingsDuring(key, [&] { delete[] raw; }), 1);
    EXPECT_FALSE(wipedOnRelease(ticket));
    EXPECT_EQ(sightingsDuring(pin, [] { std::string copy = std::string(pin) + " and some more text"; }), 1);
    auto* clean = new char[16]();
    const int cleanTicket = SecretWatch::tag(clean);
    delete[] clean;
    EXPECT_TRUE(wipedOnRelease(cleanTicket));
}

TEST(SecretsInArrays, LastStringHolderWipesThePin)
{
    int ticket = -1;
    EXPECT_EQ(sightingsDuring(pin,
                              [&] {
                                  String p(pin);
                                  ticket = SecretWatch::tag(p.data());
                                  const String shared(p);
                                  EXPECT_EQ(shared.data(), static_cast<const String&>(p).data());
                              }),
              0);
    EXPECT_TRUE(wipedOnRelease(ticket));
}

TEST(SecretsInArrays, AppendAndAssignmentWipeWhatTheyDrop)
{
    int first = -1;
    int second = -1;
    EXPECT_EQ(sightingsDuring(pin,
                              [&] {
                                  String p(pin);
                                  first = SecretWatch::tag(p.data());
                                  p.append("-suffix");
                                  second = SecretWatch::tag(p.data());
                                  p = String("other");
                              }),
              0);
    EXPECT_TRUE(wipedOnRelease(first));
    EXPECT_TRUE(wipedOnRelease(second));
}

TEST(SecretsInArrays, KeyBytesWipedThroughCopiesWritesAndSubBytes)
{
    int original = -1;
    int written = -1;
    int part = -1;
    EXPECT_EQ(sightingsDuring(key,
                              [&] {
                                  ByteArray k = bytes(key);
                                  original = SecretWatch::tag(k.data());
                                  ByteArray copy(k);
                                  copy[0] = 'k'; // detaches: the original buffer stays with k
                                  written = SecretWatch::tag(copy.data());
                                  ByteArray tail = k.subBytes(4, 10);
                                  part = SecretWatch::tag(tail.data());
                                  EXPECT_EQ(std::string(tail.data(), tail.length()), std::string(key + 4, 10));
                              }),
              0);
    EXPECT_TRUE(wipedOnRelease(original));
    EXPECT_TRUE(wipedOnRelease(written));
    EXPECT_TRUE(wipedOnRelease(part));
}

TEST(SecretsInCapi, SecureBufferWipesOnEveryRelease)
{
    int destroyed = -1;
    int reallocated = -1;
    int reassigned = -1;
    int shrunk = -1;
    int movedOver = -1;
    int released = -1;
    EXPECT_EQ(sightingsDuring(key,
                              [&] {
                                  {
                                      SecureBuffer b(key, sizeof key);
                                      destroyed = SecretWatch::tag(b.data());
                                  }
                                  SecureBuffer b(key, sizeof key);
                                  reallocated = SecretWatch::tag(b.data());
                                  b.allocate(8);
                                  b.assign(key, sizeof key);
                                  reassigned = SecretWatch::tag(b.data());
                                  b.assign(key, sizeof key);
                                  shrunk = SecretWatch::tag(b.data());
                                  b.shrinkTo(6);
                                  SecureBuffer other(key, sizeof key);
                                  movedOver = SecretWatch::tag(b.data());
                                  b = std::move(other);
                                  released = SecretWatch::tag(b.data());
                                  b.release();
                              }),
              0);
    EXPECT_TRUE(wipedOnRelease(destroyed));
    EXPECT_TRUE(wipedOnRelease(reallocated));
    EXPECT_TRUE(wipedOnRelease(reassigned));
    EXPECT_TRUE(wipedOnRelease(shrunk));
    EXPECT_TRUE(wipedOnRelease(movedOver));
    EXPECT_TRUE(wipedOnRelease(released));
}

// The PIN-taking members of a slot, through success and failure: nothing
// the bridge frees, exception messages included, may hold the PIN. The mock
// answers every PIN call by injection, so no PIN enters its own state.
class SecretsInSlot : public ::testing::TestWithParam<CK_RV> {
protected:
    void SetUp() override
    {
        functions = freshModule();
        for (const char* call : {"C_Login", "C_SetPIN", "C_InitToken", "C_InitPIN"}) {
            mock().fail(call, GetParam(), 0);
        }
    }

    // Runs one member; returns the failure's text, or "" on success.
    std::string messageOf(const std::function<void(PKCS11Bridge::PKCS11Slot&)>& member) const
    {
        PKCS11Bridge::PKCS11Slot slot(functions, P11MOCK_SLOT_A);
        slot.openSession(CKF_SERIAL_SESSION | CKF_RW_SESSION);
        try {
            member(slot);
        } catch (const PKCS11Bridge::PKCS11Exception& e) {
            return e.getMessage().c_str();
        }
        return "";
    }

    // The module's log line of the last call that took a PIN.
    static std::string lastPinCall()
    {
        std::string last;
        for (const std::string& line : mock().logLines()) {
            for (const char* call : {"C_Login ", "C_SetPIN ", "C_InitToken ", "C_InitPIN "}) {
                last = line.rfind(call, 0) == 0 ? line : last;
            }
        }
        return last;
    }

    CK_FUNCTION_LIST_PTR functions = nullptr;
};

TEST_P(SecretsInSlot, PinNeverLingers)
{
    const std::function<void(PKCS11Bridge::PKCS11Slot&)> members[] = {
        [](PKCS11Bridge::PKCS11Slot& s) { s.login(String(pin), CKU_USER); },
        [](PKCS11Bridge::PKCS11Slot& s) { s.setPIN(String(pin), String(pin)); },
        [](PKCS11Bridge::PKCS11Slot& s) { s.initToken(String(pin), String("label")); },
        [](PKCS11Bridge::PKCS11Slot& s) { s.initPIN(String(pin)); },
        [](PKCS11Bridge::PKCS11Slot& s) { s.initTokenAndUserPIN(String(pin), String("label"), String(pin)); },
    };
    const std::string pinField = "=" + P11MockControl::hex(pin, std::strlen(pin)) + " ";
    for (const auto& member : members) {
        std::string message;
        EXPECT_EQ(sightingsDuring(pin, [&] { message = messageOf(member); }), 0) << message;
        EXPECT_NE(lastPinCall().find(pinField), std::string::npos) << lastPinCall();
        EXPECT_EQ(message.find(pin), std::string::npos) << message;
        EXPECT_EQ(GetParam() == CKR_OK, message.empty()) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Results, SecretsInSlot, ::testing::Values(CKR_OK, CKR_PIN_INCORRECT, CKR_PIN_LEN_RANGE));

TEST(SecretsInSlotCrypto, DecryptedTextLeftOnlyInTheResult)
{
    PKCS11Bridge::PKCS11Slot slot(freshModule(), P11MOCK_SLOT_A);
    slot.openSession(CKF_SERIAL_SESSION);
    const PKCS11Bridge::Certificate certificate(bytes(P11MOCK_CERT_A), P11MOCK_H_CERT_A, bytes(P11MOCK_ID_A));
    const ByteArray cipher = slot.encryptData(certificate, bytes(plain), CKM_RSA_PKCS);
    // The size query then reports 64 bytes, more than the decryption writes.
    mock().set_extra_reported_length(64 - std::strlen(plain));
    int resultTicket = -1;
    EXPECT_EQ(sightingsDuring(plain,
                              [&] {
                                  const ByteArray decrypted = slot.decryptData(certificate, cipher, CKM_RSA_PKCS);
                                  EXPECT_TRUE(holds(decrypted, plain));
                                  resultTicket = SecretWatch::tag(decrypted.data());
                                  const ByteArray unwrapped = slot.unwrapKey(certificate, cipher, CKM_RSA_PKCS);
                                  EXPECT_TRUE(holds(unwrapped, plain));
                              }),
              0);
    EXPECT_TRUE(wipedOnRelease(resultTicket));
}

TEST(SecretsFromJava, PinTakenFromAJavaStringLeavesNoCopyBehind)
{
    HostClasses classes;
    HostVM vm(classes);
    JNIHelper::setJavaVM(vm.vm());
    const auto text = static_cast<jstring>(vm.newLocal(vm.newString(std::u16string(pin, pin + std::strlen(pin)))));
    int ticket = -1;
    EXPECT_EQ(sightingsDuring(pin,
                              [&] {
                                  String p = JNIBridge::JString(text).toString();
                                  ASSERT_EQ(p.length(), std::strlen(pin));
                                  EXPECT_EQ(std::memcmp(p.c_str(), pin, p.length()), 0);
                                  ticket = SecretWatch::tag(p.data());
                              }),
              0);
    EXPECT_TRUE(wipedOnRelease(ticket));
}
