// Each test starts from the mock module's default fixture, freshly loaded by
// the bridge, with an empty call log; below it, the helpers the suites share.
#ifndef ORV_TESTS_PKCS11_MOCKMODULEFIXTURE_H
#define ORV_TESTS_PKCS11_MOCKMODULEFIXTURE_H

#include "P11MockControl.h"
#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11Module.h"
#include "pkcs11bridge/PKCS11Slot.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace PKCS11Test {

// Default fixture: slot index 0 is slot 2 (token A), 1 is slot 9 (token C),
// 2 is slot 11 (token D, not initialised).
constexpr unsigned int indexA = 0;
constexpr unsigned int indexC = 1;
constexpr unsigned int indexD = 2;

inline P11MockControl& mock()
{
    static P11MockControl* control = new P11MockControl(P11MOCK_MODULE_PATH);
    return *control;
}

// The failure a call raised, as PKCS11Exception text and return value.
struct Failure {
    bool raised = false;
    std::string message;
    CK_RV returnValue = 0;
};

inline Failure pkcs11Failure(const std::function<void()>& call)
{
    Failure failure;
    try {
        call();
    } catch (const PKCS11Bridge::PKCS11Exception& e) {
        failure.raised = true;
        failure.message = e.getMessage().c_str();
        failure.returnValue = e.getReturnValue();
    }
    return failure;
}

inline std::string indexFailure(const std::function<void()>& call)
{
    try {
        call();
    } catch (const JNIBridge::IndexOutOfBoundsException& e) {
        return e.getMessage().c_str();
    }
    return "(no IndexOutOfBoundsException)";
}

class MockModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mock().reset();
        mock().set_initialized(0);
        module.reset(new PKCS11Bridge::PKCS11Module(P11MOCK_MODULE_PATH));
        s = slot(indexA);
        mock().log_clear();
    }

    void TearDown() override { module.reset(); }

    std::shared_ptr<PKCS11Bridge::PKCS11Slot> slot(unsigned int index) { return module->getSlot(index); }

    std::shared_ptr<PKCS11Bridge::PKCS11Slot> openedSlot(unsigned int index)
    {
        auto s = slot(index);
        s->openSession(CKF_RW_SESSION | CKF_SERIAL_SESSION);
        mock().log_clear();
        return s;
    }

    static std::vector<std::string> calls() { return mock().calledFunctions(); }
    static std::vector<std::string> linesOf(const std::string& function) { return mock().logLinesOf(function); }

    std::unique_ptr<PKCS11Bridge::PKCS11Module> module;
    std::shared_ptr<PKCS11Bridge::PKCS11Slot> s; // token A's, the one most tests use
};

// The same, with token A's slot holding a session, for suites whose every
// test starts there.
class OpenedSlotTest : public MockModuleTest {
protected:
    void SetUp() override
    {
        MockModuleTest::SetUp();
        openedSlot(indexA);
    }
};

using Calls = std::vector<std::string>;

// The text of a member's failure when the slot holds no session.
inline std::string noSession(const std::string& member)
{
    return member + " - A session has not been opened !";
}

inline JNIBridge::ByteArray bytes(const std::string& text)
{
    return JNIBridge::ByteArray(text.data(), 0, static_cast<unsigned int>(text.size()));
}

inline std::string text(const JNIBridge::ByteArray& value)
{
    return std::string(value.data(), value.length());
}

// How the attribute readers' failures begin, and the end of a refused read.
const std::string kBoolReader = "PKCS11Attribute<bool>::getAttribute(PKCS11Slot *, unsigned long, unsigned long) - ";
const std::string kUlongReader =
    "PKCS11Attribute<unsigned long>::getAttribute(PKCS11Slot *, unsigned long, unsigned long) - ";
const std::string kBytesReader = "PKCS11Attribute<ByteArray>::getAttribute(unsigned long, unsigned long) - ";
const std::string kTypeInvalid = "') - CKR_ATTRIBUTE_TYPE_INVALID";

// The certificate objects of the default fixture's token A, found by value.
inline PKCS11Bridge::Certificate certificateOf(PKCS11Bridge::PKCS11Slot& slot, const char* value)
{
    const JNIBridge::SmartPointer<PKCS11Bridge::Certificate> found = slot.findCertificate(CKC_X_509, bytes(value));
    if (!found) {
        throw std::runtime_error(std::string("fixture certificate missing: ") + value);
    }
    return *found;
}

// Log lines whose function name starts with one of the prefixes.
inline std::vector<std::string> linesStartingWith(std::initializer_list<const char*> prefixes)
{
    std::vector<std::string> selected;
    for (const std::string& line : mock().logLines()) {
        for (const char* prefix : prefixes) {
            if (line.compare(0, std::string(prefix).size(), prefix) == 0) {
                selected.push_back(line);
                break;
            }
        }
    }
    return selected;
}

} // namespace PKCS11Test

#endif
