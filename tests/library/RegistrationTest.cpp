// Loads ORVNative.dll as the Java VM would and checks, against the tests' VM
// keeping a trace of every JNI call, each call its load hook makes.
#include "ExpectedNatives.h"
#include "HostVM.h"
#include "OnLoadExport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using OnLoad = jint(JNICALL*)(JavaVM*, void*);

OnLoad loadHook()
{
    static HMODULE library = LoadLibraryA("ORVNative.dll");
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<OnLoad>(reinterpret_cast<void*>(GetProcAddress(library, kOnLoadExport)));
}

const HostClasses& classes()
{
    static const HostClasses known;
    return known;
}

std::string registration(const ExpectedNative& row)
{
    return std::string("RegisterNatives(") + row.className + ", " + row.name + ", " + row.signature + ", 1, function)";
}

// GetEnv, then per class: FindClass, one single-row RegisterNatives per
// native, and the release of the class reference.
std::vector<std::string> expectedSequence()
{
    std::vector<std::string> expected{"GetEnv(0x10004)"};
    for (const char* cls : ExpectedNatives::classes) {
        expected.push_back(std::string("FindClass(") + cls + ")");
        for (const ExpectedNative& row : ExpectedNatives::rows) {
            if (std::string(row.className) == cls) {
                expected.push_back(registration(row));
            }
        }
        expected.push_back(std::string("DeleteLocalRef(") + cls + ")");
    }
    return expected;
}

// Rows of the table that the hook did not register, as "#n Class.method".
std::vector<std::string> missingRows(const HostVM& vm)
{
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < ExpectedNatives::rowCount; ++i) {
        const std::string wanted = registration(ExpectedNatives::rows[i]);
        if (std::find(vm.calls().begin(), vm.calls().end(), wanted) == vm.calls().end()) {
            missing.push_back("#" + std::to_string(i + 1) + " " + ExpectedNatives::rows[i].className + "." +
                              ExpectedNatives::rows[i].name);
        }
    }
    return missing;
}

std::string join(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += "  " + line + "\n";
    }
    return text;
}

class LoadHook : public ::testing::Test {
protected:
    void SetUp() override
    {
        onLoad_ = loadHook();
        ASSERT_NE(onLoad_, nullptr);
        vm_.recordCalls();
    }
    // The calls of a run where nothing fails.
    void fullRun(std::vector<std::string>& calls)
    {
        HostVM full(classes());
        full.recordCalls();
        ASSERT_EQ(onLoad_(full.vm(), nullptr), 0x00010004);
        calls = full.calls();
    }
    OnLoad onLoad_ = nullptr;
    HostVM vm_{classes()};
};

} // namespace

TEST_F(LoadHook, IsExportedUnderTheNameTheVmLooksUp)
{
    ASSERT_NE(loadHook(), nullptr) << "ORVNative.dll with the export " << kOnLoadExport;
}

TEST_F(LoadHook, BindsEveryNativeInOrderAndReportsJni14)
{
    EXPECT_EQ(onLoad_(vm_.vm(), nullptr), 0x00010004);
    const std::vector<std::string> missing = missingRows(vm_);
    EXPECT_TRUE(missing.empty()) << missing.size() << " of " << ExpectedNatives::rowCount << " rows not registered:\n"
                                 << join(missing);
    EXPECT_EQ(vm_.calls(), expectedSequence());
    EXPECT_EQ(vm_.pendingException(), nullptr);
}

TEST_F(LoadHook, MissingClassHasItsRowsSkippedAndItsErrorCleared)
{
    std::vector<std::string> full;
    ASSERT_NO_FATAL_FAILURE(fullRun(full));
    vm_.failFindClass(ExpectedNatives::capiToken);
    EXPECT_EQ(onLoad_(vm_.vm(), nullptr), 0x00010004);
    EXPECT_EQ(vm_.pendingException(), nullptr);
    // Exactly the full run's calls, with the missing class's rows replaced by clearing its error.
    std::vector<std::string> expected;
    bool inMissingClass = false;
    for (const std::string& call : full) {
        if (call.rfind("FindClass(", 0) == 0) {
            inMissingClass = call == std::string("FindClass(") + ExpectedNatives::capiToken + ")";
            expected.push_back(call);
            if (inMissingClass) {
                expected.push_back("ExceptionClear()");
            }
        } else if (!inMissingClass) {
            expected.push_back(call);
        }
    }
    EXPECT_EQ(vm_.calls(), expected);
    for (const std::string& call : vm_.calls()) {
        EXPECT_EQ(call.find("<null>"), std::string::npos) << call;
    }
}

TEST_F(LoadHook, FailedGetEnvReportsJniErrAndTouchesNothing)
{
    vm_.failGetEnv();
    EXPECT_EQ(onLoad_(vm_.vm(), nullptr), JNI_ERR);
    EXPECT_EQ(vm_.calls(), std::vector<std::string>{"GetEnv(0x10004)"});
}

TEST_F(LoadHook, FailedBindingDoesNotStopTheOthers)
{
    std::vector<std::string> full;
    ASSERT_NO_FATAL_FAILURE(fullRun(full));
    vm_.failRegistration("getRegistryKeyName");
    EXPECT_EQ(onLoad_(vm_.vm(), nullptr), 0x00010004);
    EXPECT_EQ(vm_.pendingException(), nullptr);
    std::vector<std::string> expected;
    for (const std::string& call : full) {
        expected.push_back(call);
        if (call.rfind("RegisterNatives(", 0) == 0 && call.find(", getRegistryKeyName, ") != std::string::npos) {
            expected.push_back("ExceptionClear()");
        }
    }
    EXPECT_EQ(vm_.calls(), expected);
}
