// Each test starts from the mock module's default fixture, freshly loaded by
// the bridge, with an empty call log.
#ifndef ORV_TESTS_PKCS11_MOCKMODULEFIXTURE_H
#define ORV_TESTS_PKCS11_MOCKMODULEFIXTURE_H

#include "P11MockControl.h"
#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11Module.h"

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
};

using Calls = std::vector<std::string>;

} // namespace PKCS11Test

#endif
