// RegistryAccessor against a registry holding known test data: Wine's real
// registry in the win32 build, the stand-in's .reg files on Linux.
#include "TestRegistry.h"

#include "common/Exception.h"
#include "registry/DescribeError.h"
#include "registry/RegistryAccessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using Accessor = RegistryBridge::RegistryAccessor;
using RegistryBridge::describeError;
using Illegal = Common::IllegalArguementException;
using NoMore = Common::NoMoreElementsException;
using AccessFailure = Common::RegistryAccessException;

const std::int32_t kCurrentUser = 2;
const char kSuffix[] = ". Error code HEX: 0x0. Error code dec: 0.\n";
const std::size_t kLargeSize = 1024 * 1024;

std::vector<BYTE> bytes(const std::string& text)
{
    return std::vector<BYTE>(text.begin(), text.end());
}

// Text with its terminating zero, as the registry stores strings.
std::vector<BYTE> stringData(const std::string& text)
{
    std::vector<BYTE> data = bytes(text);
    data.push_back(0);
    return data;
}

std::string path(const std::string& relative)
{
    return TestRegistry::under(relative);
}

// Calls fn and returns the description of the exception of type E it throws.
template <class E, class F>
std::string descriptionOf(F fn)
{
    try {
        fn();
    } catch (const E& e) {
        return e.getDescription();
    } catch (const Common::Exception& e) {
        return std::string("wrong kind: ") + e.getDescription();
    }
    return "nothing thrown";
}

std::string invalidKeyId(std::int32_t id)
{
    return "The keyId passed to RegistryAccessor::getRootKey was not valid. The invalid value is: " +
           std::to_string(id) + ".\n" + kSuffix;
}

class RegistryAccessorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        registry_ = std::make_unique<TestRegistry>();
        registry_->addKey("Enum\\Alpha");
        registry_->addKey("Enum\\Beta");
        registry_->addKey("Enum\\Gamma");
        registry_->addKey("Long\\" + longKeyName());
        registry_->addValue("Names", "first", REG_SZ, stringData("1"));
        registry_->addValue("Names", "second", REG_DWORD, {1, 0, 0, 0});
        registry_->addValue("Names", longValueName(), REG_SZ, stringData("long"));
        registry_->addValue("Values", "Text", REG_SZ, stringData("hello registry"));
        registry_->addValue("Values", "Expand", REG_EXPAND_SZ, stringData("%SystemRoot%\\orv"));
        registry_->addValue("Values", "Dword", REG_DWORD, {0x41, 0, 0, 0});
        registry_->addValue("Values", "Binary", REG_BINARY, {0x41, 0x42, 0x00, 0x43});
        registry_->addValue("Values", "Unterminated", REG_BINARY, bytes("ABC"));
        registry_->addValue("Values", "Multi", REG_MULTI_SZ, bytes(std::string("one\0two\0\0", 9)));
        registry_->addValue("Values", "Empty", REG_BINARY, {});
        registry_->addValue("Values", "EmptyText", REG_SZ, stringData(""));
        registry_->addValue("Values", "Large", REG_BINARY, std::vector<BYTE>(kLargeSize, 'x'));
        registry_->publish();
    }

    static void TearDownTestSuite() { registry_.reset(); }

    static std::string longKeyName() { return std::string(255, 'k'); }
    static std::string longValueName() { return std::string(16383, 'v'); }

    // What getKeyName or getValueName gives from index 0 until there are no more.
    static std::vector<std::string> allNames(std::string (*get)(std::int32_t, const char*, std::int32_t),
                                             std::int32_t keyId, const std::string& keyPath)
    {
        std::vector<std::string> names;
        for (std::int32_t i = 0;; ++i) {
            try {
                names.push_back(get(keyId, keyPath.c_str(), i));
            } catch (const Common::NoMoreElementsException&) {
                return names;
            }
        }
    }
    static std::vector<std::string> allKeyNames(const std::string& keyPath)
    {
        return allNames(Accessor::getKeyName, kCurrentUser, keyPath);
    }

    static std::string value(const char* name)
    {
        return Accessor::getValueString(kCurrentUser, path("Values").c_str(), name);
    }

private:
    static inline std::unique_ptr<TestRegistry> registry_;
};

TEST(RegistryRootKey, IdsSelectTheFivePredefinedKeys)
{
    EXPECT_EQ(Accessor::getRootKey(1), HKEY_CLASSES_ROOT);
    EXPECT_EQ(Accessor::getRootKey(2), HKEY_CURRENT_USER);
    EXPECT_EQ(Accessor::getRootKey(3), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(Accessor::getRootKey(4), HKEY_USERS);
    // 5 is HKEY_DYN_DATA, not HKEY_CURRENT_CONFIG.
    EXPECT_EQ(Accessor::getRootKey(5), HKEY_DYN_DATA);
    EXPECT_EQ(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(Accessor::getRootKey(5))), 0x80000006u);
}

TEST(RegistryRootKey, OtherIdsAreIllegalArguments)
{
    for (const std::int32_t id : {0, 6, -1, 7, 2147483647}) {
        EXPECT_EQ(descriptionOf<Illegal>([&] { Accessor::getRootKey(id); }), invalidKeyId(id));
    }
}

TEST_F(RegistryAccessorTest, BadKeyIdIsReportedBeforeTheRegistryIsTouched)
{
    const std::string missing = path("Missing");
    for (const std::int32_t id : {0, 6, -1}) {
        EXPECT_EQ(descriptionOf<Illegal>([&] { Accessor::getKeyName(id, missing.c_str(), 0); }), invalidKeyId(id));
        EXPECT_EQ(descriptionOf<Illegal>([&] { Accessor::getValueName(id, missing.c_str(), 0); }), invalidKeyId(id));
        EXPECT_EQ(descriptionOf<Illegal>([&] { Accessor::getValueString(id, nullptr, nullptr); }), invalidKeyId(id));
    }
}

TEST_F(RegistryAccessorTest, SubKeysEnumerateToTheirEnd)
{
    std::vector<std::string> names = allKeyNames(path("Enum"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(descriptionOf<NoMore>([] { Accessor::getKeyName(kCurrentUser, path("Enum").c_str(), 3); }),
              std::string("No more registry keys.") + kSuffix);
    // A negative index reaches Windows as a huge one: past the end.
    EXPECT_EQ(descriptionOf<NoMore>([] { Accessor::getKeyName(kCurrentUser, path("Enum").c_str(), -1); }),
              std::string("No more registry keys.") + kSuffix);
    // A key without sub-keys ends at once.
    EXPECT_TRUE(allKeyNames(path("Enum\\Alpha")).empty());
}

TEST_F(RegistryAccessorTest, ValuesEnumerateToTheirEnd)
{
    std::vector<std::string> names = allNames(Accessor::getValueName, kCurrentUser, path("Names"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second", longValueName()}));
    EXPECT_EQ(descriptionOf<NoMore>([] { Accessor::getValueName(kCurrentUser, path("Names").c_str(), 3); }),
              std::string("No more registry values.") + kSuffix);
    EXPECT_TRUE(allNames(Accessor::getValueName, kCurrentUser, path("Enum")).empty());
}

TEST_F(RegistryAccessorTest, LongestNamesComeBackWhole)
{
    EXPECT_EQ(Accessor::getKeyName(kCurrentUser, path("Long").c_str(), 0), longKeyName());
    EXPECT_EQ(Accessor::getValueString(kCurrentUser, path("Names").c_str(), longValueName().c_str()), "long");
}

TEST_F(RegistryAccessorTest, EmptyPathEnumeratesTheRootItself)
{
    const std::vector<std::string> names = allKeyNames("");
    EXPECT_NE(std::find(names.begin(), names.end(), "Software"), names.end());
}

TEST_F(RegistryAccessorTest, ValueDataAsText)
{
    EXPECT_EQ(value("Text"), "hello registry");
    EXPECT_EQ(value("Expand"), "%SystemRoot%\\orv");
    EXPECT_EQ(value("Dword"), "A");
    EXPECT_EQ(value("Binary"), "AB");
    EXPECT_EQ(value("Multi"), "one");
    EXPECT_EQ(value("Empty"), "");
    EXPECT_EQ(value("EmptyText"), "");
}

TEST_F(RegistryAccessorTest, DataWithoutAZeroAreTakenWholeAndNoFurther)
{
    EXPECT_EQ(value("Unterminated"), "ABC");
    const std::string large = value("Large");
    EXPECT_EQ(large.size(), kLargeSize);
    EXPECT_EQ(large.find_first_not_of('x'), std::string::npos);
}

TEST_F(RegistryAccessorTest, NothingIsCached)
{
    EXPECT_EQ(value("Text"), value("Text"));
    EXPECT_EQ(Accessor::getKeyName(kCurrentUser, path("Enum").c_str(), 1),
              Accessor::getKeyName(kCurrentUser, path("Enum").c_str(), 1));
}

TEST_F(RegistryAccessorTest, MissingKeyCarriesTheWindowsCode)
{
    const std::string expected = describeError("Could not open registry key.", ERROR_FILE_NOT_FOUND) + kSuffix;
    const std::string missing = path("Missing");
    const std::string keyName =
        descriptionOf<AccessFailure>([&] { Accessor::getKeyName(kCurrentUser, missing.c_str(), 0); });
    EXPECT_EQ(keyName, expected);
    EXPECT_EQ(keyName.rfind("Could not open registry key.\nThe error code is: 2\nThe error message is: ", 0), 0u);
    EXPECT_EQ(descriptionOf<AccessFailure>([&] { Accessor::getValueName(kCurrentUser, missing.c_str(), 0); }),
              expected);
    EXPECT_EQ(descriptionOf<AccessFailure>([&] { Accessor::getValueString(kCurrentUser, missing.c_str(), "Text"); }),
              expected);
}

TEST_F(RegistryAccessorTest, MissingValueCarriesTheWindowsCode)
{
    const std::string text = descriptionOf<AccessFailure>([] { value("NoSuchValue"); });
    EXPECT_EQ(text, describeError("Could not extract the registry value.", ERROR_FILE_NOT_FOUND) + kSuffix);
    EXPECT_EQ(text.rfind("Could not extract the registry value.\nThe error code is: 2\n", 0), 0u);
}

TEST_F(RegistryAccessorTest, NullArgumentsAreIllegalArguments)
{
    EXPECT_EQ(descriptionOf<Illegal>([] { Accessor::getKeyName(kCurrentUser, nullptr, 0); }),
              std::string("The path passed to RegistryAccessor::getKeyName was null.\n") + kSuffix);
    EXPECT_EQ(descriptionOf<Illegal>([] { Accessor::getValueName(kCurrentUser, nullptr, 0); }),
              std::string("The path passed to RegistryAccessor::getValueName was null.\n") + kSuffix);
    EXPECT_EQ(descriptionOf<Illegal>([] { Accessor::getValueString(kCurrentUser, nullptr, "Text"); }),
              std::string("The path passed to RegistryAccessor::getValueString was null.\n") + kSuffix);
    // Checked before the key is opened, so a missing key does not hide it.
    EXPECT_EQ(descriptionOf<Illegal>([] { Accessor::getValueString(kCurrentUser, path("Missing").c_str(), nullptr); }),
              std::string("The valueName passed to RegistryAccessor::getValueString was null.\n") + kSuffix);
}

TEST(RegistryTextOfData, StopsAtTheFirstZeroOrTheEnd)
{
    const BYTE data[] = {'a', 'b', 0, 'c'};
    EXPECT_EQ(Accessor::textUpToFirstZero(data, 4), "ab");
    EXPECT_EQ(Accessor::textUpToFirstZero(data, 2), "ab");
    EXPECT_EQ(Accessor::textUpToFirstZero(data, 1), "a");
    EXPECT_EQ(Accessor::textUpToFirstZero(data, 0), "");
    EXPECT_EQ(Accessor::textUpToFirstZero(nullptr, 5), "");
    // Exactly-sized heap data without a terminator: ASan catches any over-read.
    std::unique_ptr<BYTE[]> exact(new BYTE[3]{'x', 'y', 'z'});
    EXPECT_EQ(Accessor::textUpToFirstZero(exact.get(), 3), "xyz");
}

} // namespace
