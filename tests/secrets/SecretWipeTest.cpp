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

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>

using CAPIBridge::SecureBuffer;
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

// The blocks a test tags, in order; each must be all zeros when released.
class Tags {
public:
    void operator()(const void* block) { tickets_.at(count_++) = SecretWatch::tag(block); }

    ::testing::AssertionResult allWiped(int expected) const
    {
        if (count_ != expected) {
            return ::testing::AssertionFailure() << count_ << " blocks tagged instead of " << expected;
        }
        for (int i = 0; i < count_; ++i) {
            const SecretWatch::Outcome o = SecretWatch::outcome(tickets_[i]);
            if (!o.wiped) {
                return ::testing::AssertionFailure()
                       << "block " << i << (tickets_[i] < 0 ? " found no room in the table" : "")
                       << (o.released ? " was released unwiped" : " was never released through operator delete");
            }
        }
        return ::testing::AssertionSuccess();
    }

private:
    std::array<int, 8> tickets_{};
    int count_ = 0;
};

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
    Tags unwiped;
    unwiped(raw);
    EXPECT_EQ(sightingsDuring(key, [&] { delete[] raw; }), 1);
    EXPECT_FALSE(unwiped.allWiped(1));
    EXPECT_EQ(sightingsDuring(pin, [] { std::string copy = std::string(pin) + " and some more text"; }), 1);
    auto* clean = new char[16]();
    Tags wiped;
    wiped(clean);
    delete[] clean;
    EXPECT_TRUE(wiped.allWiped(1));
}

TEST(SecretsInArrays, LastStringHolderWipesThePin)
{
    Tags tag;
    EXPECT_EQ(sightingsDuring(pin,
                              [&] {
                                  String p(pin);
                                  tag(p.data());
                                  const String shared(p);
                                  EXPECT_EQ(shared.data(), static_cast<const String&>(p).data());
                              }),
              0);
    EXPECT_TRUE(tag.allWiped(1));
}

TEST(SecretsInArrays, AppendAndAssignmentWipeWhatTheyDrop)
{
    Tags tag;
    EXPECT_EQ(sightingsDuring(pin,
                              [&] {
                                  String p(pin);
                                  tag(p.data());
                                  p.append("-suffix");
                                  tag(p.data());
                                  p = String("other");
                              }),
              0);
    EXPECT_TRUE(tag.allWiped(2));
}

TEST(SecretsInArrays, KeyBytesWipedThroughCopiesWritesAndSubBytes)
{
    Tags tag;
    EXPECT_EQ(sightingsDuring(key,
                              [&] {
                                  ByteArray k = bytes(key);
                                  tag(k.data());
                                  ByteArray copy(k);
                                  copy[0] = 'k'; // detaches: the original buffer stays with k
                                  tag(copy.data());
                                  ByteArray tail = k.subBytes(4, 10);
                                  tag(tail.data());
                                  EXPECT_EQ(std::string(tail.data(), tail.length()), std::string(key + 4, 10));
                              }),
              0);
    EXPECT_TRUE(tag.allWiped(3));
}

// Destroyed, reallocated, reassigned, shrunk, moved over and released.
TEST(SecretsInCapi, SecureBufferWipesOnEveryRelease)
{
    Tags tag;
    EXPECT_EQ(sightingsDuring(key,
                              [&] {
                                  {
                                      SecureBuffer b(key, sizeof key);
                                      tag(b.data());
                                  }
                                  SecureBuffer b(key, sizeof key);
                                  tag(b.data());
                                  b.allocate(8);
                                  b.assign(key, sizeof key);
                                  tag(b.data());
                                  b.assign(key, sizeof key);
                                  tag(b.data());
                                  b.shrinkTo(6);
                                  SecureBuffer other(key, sizeof key);
                                  tag(b.data());
                                  b = std::move(other);
                                  tag(b.data());
                                  b.release();
                              }),
              0);
    EXPECT_TRUE(tag.allWiped(6));
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
    Tags tag;
    EXPECT_EQ(sightingsDuring(plain,
                              [&] {
                                  const ByteArray decrypted = slot.decryptData(certificate, cipher, CKM_RSA_PKCS);
                                  EXPECT_TRUE(holds(decrypted, plain));
                                  tag(decrypted.data());
                                  EXPECT_TRUE(holds(slot.unwrapKey(certificate, cipher, CKM_RSA_PKCS), plain));
                              }),
              0);
    EXPECT_TRUE(tag.allWiped(1));
}

TEST(SecretsFromJava, PinTakenFromAJavaStringLeavesNoCopyBehind)
{
    HostClasses classes;
    HostVM vm(classes);
    JNIHelper::setJavaVM(vm.vm());
    const auto text = static_cast<jstring>(vm.newLocal(vm.newString(std::u16string(pin, pin + std::strlen(pin)))));
    Tags tag;
    EXPECT_EQ(sightingsDuring(pin,
                              [&] {
                                  String p = JNIBridge::JString(text).toString();
                                  ASSERT_EQ(p.length(), std::strlen(pin));
                                  EXPECT_EQ(std::memcmp(p.c_str(), pin, p.length()), 0);
                                  tag(p.data());
                              }),
              0);
    EXPECT_TRUE(tag.allWiped(1));
}
