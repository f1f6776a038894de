// The exported registry natives called as a VM calls them, in the tests' VM
// with no load hook run: they must copy and raise through the env they are given.
#include "HostVM.h"
#include "TestRegistry.h"

#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const JNINativeInterface_* vmFunctions = nullptr;

// One character too many: the copy's GetStringUTFRegion then raises, as a VM does for a bad region.
jsize JNICALL longerByOne(JNIEnv* env, jstring text)
{
    return vmFunctions->GetStringLength(env, text) + 1;
}

class RegistryNatives : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        registry_ = std::make_unique<TestRegistry>();
        registry_->addValue("Natives", "Greeting", REG_SZ, {'h', 'i', 0});
        registry_->publish();
    }
    static void TearDownTestSuite() { registry_.reset(); }
    void SetUp() override
    {
        vm_.pushFrame();
        path_ = text(TestRegistry::under("Natives"));
    }
    void TearDown() override { vm_.popFrame(); }

    jstring text(const std::string& ascii)
    {
        return static_cast<jstring>(vm_.newLocal(vm_.newString(std::u16string(ascii.begin(), ascii.end()))));
    }
    // The string returned, or "class: message" of the exception left pending.
    std::string outcome(jstring result)
    {
        const HostObject* pending = vm_.pendingException();
        vm_.clearPendingException();
        const HostObject* shown = pending != nullptr ? pending : vm_.deref(result, "outcome");
        const std::string words(shown->text.begin(), shown->text.end());
        return pending != nullptr ? pending->cls->name + ": " + words : words;
    }

    HostClasses classes_;
    HostVM vm_{classes_};
    jstring path_ = nullptr;

private:
    static inline std::unique_ptr<TestRegistry> registry_;
};

TEST_F(RegistryNatives, AnswerThroughTheirOwnEnvWithoutTheLoadHook)
{
    EXPECT_EQ(outcome(Registry::getValueString(vm_.env(), nullptr, 2, path_, text("Greeting"))), "hi");
    EXPECT_EQ(outcome(Registry::getKeyName(vm_.env(), nullptr, 2, text(TestRegistry::under("Nope")), 0))
                  .rfind("java/io/FileNotFoundException: Could not open registry key.\nThe error code is: 2\n", 0),
              0u);
}

TEST_F(RegistryNatives, AJavaExceptionFromTheCopyStaysPending)
{
    const jstring name = text("Greeting");
    JNINativeInterface_ lying = *(vmFunctions = vm_.env()->functions);
    lying.GetStringLength = &longerByOne;
    vm_.env()->functions = &lying;
    const std::string raised = "java/lang/StringIndexOutOfBoundsException: region out of bounds";
    EXPECT_EQ(outcome(Registry::getKeyName(vm_.env(), nullptr, 2, path_, 0)), raised);
    EXPECT_EQ(outcome(Registry::getValueName(vm_.env(), nullptr, 2, path_, 0)), raised);
    EXPECT_EQ(outcome(Registry::getValueString(vm_.env(), nullptr, 2, path_, name)), raised);
    vm_.env()->functions = vmFunctions;
}

} // namespace
