// Loads ORVNative.dll as the Java VM would and checks, against a recording
// stand-in for the VM, every call its load hook makes.
#include "ExpectedNatives.h"
#include "OnLoadExport.h"
#include "RecordingJavaVM.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
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

std::string describe(const RecordedCall& call)
{
    std::ostringstream out;
    out << call.function << "(";
    if (call.function == "GetEnv") {
        out << "0x" << std::hex << call.count;
    } else if (call.function == "RegisterNatives") {
        out << call.className << ", " << call.name << ", " << call.signature << ", " << call.count << ", "
            << (call.hasFunction ? "function" : "NULL");
    } else {
        out << call.className;
    }
    out << ")";
    return out.str();
}

RecordedCall registration(const ExpectedNative& row)
{
    RecordedCall call;
    call.function = "RegisterNatives";
    call.className = row.className;
    call.name = row.name;
    call.signature = row.signature;
    call.count = 1;
    call.hasFunction = true;
    return call;
}

RecordedCall classCall(const char* function, const char* className)
{
    RecordedCall call;
    call.function = function;
    call.className = className;
    return call;
}

// GetEnv, then per class: FindClass, one single-row RegisterNatives per
// native, and the release of the class reference.
std::vector<std::string> expectedSequence(const std::string& missingClass = std::string())
{
    RecordedCall getEnv;
    getEnv.function = "GetEnv";
    getEnv.count = 0x00010004;
    std::vector<std::string> expected{describe(getEnv)};
    for (const char* cls : ExpectedNatives::classes) {
        expected.push_back(describe(classCall("FindClass", cls)));
        if (missingClass == cls) {
            expected.push_back("ExceptionClear()");
            continue;
        }
        for (const ExpectedNative& row : ExpectedNatives::rows) {
            if (std::string(row.className) == cls) {
                expected.push_back(describe(registration(row)));
            }
        }
        expected.push_back(describe(classCall("DeleteLocalRef", cls)));
    }
    return expected;
}

std::vector<std::string> recordedSequence(const RecordingJavaVM& vm)
{
    std::vector<std::string> recorded;
    for (const RecordedCall& call : vm.calls()) {
        recorded.push_back(describe(call));
    }
    return recorded;
}

// Rows of the table that the hook did not register, as "#n Class.method".
std::vector<std::string> missingRows(const RecordingJavaVM& vm)
{
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < ExpectedNatives::rowCount; ++i) {
        const std::string wanted = describe(registration(ExpectedNatives::rows[i]));
        bool found = false;
        for (const RecordedCall& call : vm.calls()) {
            found = found || describe(call) == wanted;
        }
        if (!found) {
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

} // namespace

TEST(LoadHook, IsExportedUnderTheNameTheVmLooksUp)
{
    ASSERT_NE(loadHook(), nullptr) << "ORVNative.dll with the export " << kOnLoadExport;
}

TEST(LoadHook, BindsAll43NativesInOrderAndReportsJni14)
{
    OnLoad onLoad = loadHook();
    ASSERT_NE(onLoad, nullptr);
    RecordingJavaVM vm;
    EXPECT_EQ(onLoad(vm.vm(), nullptr), 0x00010004);
    const std::vector<std::string> missing = missingRows(vm);
    EXPECT_TRUE(missing.empty()) << missing.size() << " of 43 rows not registered:\n" << join(missing);
    EXPECT_EQ(recordedSequence(vm), expectedSequence());
    EXPECT_FALSE(vm.exceptionPending());
}

TEST(LoadHook, MissingClassHasItsRowsSkippedAndItsErrorCleared)
{
    OnLoad onLoad = loadHook();
    ASSERT_NE(onLoad, nullptr);
    RecordingJavaVM full;
    ASSERT_EQ(onLoad(full.vm(), nullptr), 0x00010004);

    RecordingJavaVM vm;
    vm.failFindClass(ExpectedNatives::capiToken);
    EXPECT_EQ(onLoad(vm.vm(), nullptr), 0x00010004);
    EXPECT_FALSE(vm.exceptionPending());
    // Exactly the full run's calls, with the missing class's rows replaced by clearing its error.
    std::vector<std::string> expected;
    bool inMissingClass = false;
    for (const RecordedCall& call : full.calls()) {
        if (call.function == "FindClass") {
            inMissingClass = call.className == ExpectedNatives::capiToken;
            expected.push_back(describe(call));
            if (inMissingClass) {
                expected.push_back("ExceptionClear()");
            }
        } else if (!inMissingClass) {
            expected.push_back(describe(call));
        }
    }
    EXPECT_EQ(recordedSequence(vm), expected);
    for (const RecordedCall& call : vm.calls()) {
        EXPECT_NE(call.className, "<null>") << describe(call);
    }
}

TEST(LoadHook, FailedGetEnvReportsJniErrAndTouchesNothing)
{
    OnLoad onLoad = loadHook();
    ASSERT_NE(onLoad, nullptr);
    RecordingJavaVM vm;
    vm.failGetEnv();
    EXPECT_EQ(onLoad(vm.vm(), nullptr), JNI_ERR);
    EXPECT_EQ(recordedSequence(vm), std::vector<std::string>{"GetEnv(0x10004)"});
}

TEST(LoadHook, FailedBindingDoesNotStopTheOthers)
{
    OnLoad onLoad = loadHook();
    ASSERT_NE(onLoad, nullptr);
    RecordingJavaVM full;
    ASSERT_EQ(onLoad(full.vm(), nullptr), 0x00010004);

    RecordingJavaVM vm;
    vm.failRegistration("getRegistryKeyName");
    EXPECT_EQ(onLoad(vm.vm(), nullptr), 0x00010004);
    EXPECT_FALSE(vm.exceptionPending());
    std::vector<std::string> expected;
    for (const RecordedCall& call : full.calls()) {
        expected.push_back(describe(call));
        if (call.function == "RegisterNatives" && call.name == "getRegistryKeyName") {
            expected.push_back("ExceptionClear()");
        }
    }
    EXPECT_EQ(recordedSequence(vm), expected);
}
