// Tests the stand-in's registry read from .reg files: keys, values, types and errors.
#include "TestSupport.h"

#include "tests/standin/Registry.h"

#include <sys/stat.h>

#include <cstring>

using namespace orvtest;

namespace {

const char kExport5[] = "Windows Registry Editor Version 5.00\r\n"
                        "\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orv]\r\n"
                        "@=\"default text\"\r\n"
                        "\"Path\"=\"C:\\\\Program Files\\\\Orv \\\"quoted\\\"\"\r\n"
                        "\"Letter\"=dword:00000041\r\n"
                        "\"Blob\"=hex:01,02,00,ff\r\n"
                        "\"Expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
                        "\"Multi\"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,\\\r\n"
                        "  6f,00,00,00,00,00\r\n"
                        "\"Empty\"=\"\"\r\n"
                        "\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orv\\Zeta]\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orv\\Alpha]\r\n"
                        "; a comment\r\n"
                        "[HKEY_CURRENT_USER\\Software\\Orv]\r\n"
                        "\"User\"=\"yes\"\r\n";

std::string utf16le(const std::string& ascii, bool bom)
{
    std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

using Key = Owned<HKEY, RegCloseKey>;

class RegistryTest : public StateRootTest {
protected:
    void import(const std::string& content, const std::string& name = "test.reg")
    {
        orv::platform::RegParseError error;
        ASSERT_TRUE(orv::platform::importRegistryFile(writeFile(name, content), error)) << error.text();
    }
    void expectRefused(const std::string& content, const char* problem)
    {
        orv::platform::RegParseError error;
        EXPECT_FALSE(orv::platform::importRegistryFile(writeFile("bad.reg", content), error));
        EXPECT_NE(std::string::npos, error.text().find(problem)) << error.text();
    }
    Bytes query(HKEY key, const char* name, DWORD& type)
    {
        DWORD size = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &type, nullptr, &size));
        Bytes data(size);
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &type, data.data(), &size));
        data.resize(size);
        return data;
    }
    void expectAllTypes(HKEY key)
    {
        DWORD type = 0;
        Bytes path = query(key, "Path", type);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
        EXPECT_STREQ("C:\\Program Files\\Orv \"quoted\"", reinterpret_cast<const char*>(path.data()));
        EXPECT_EQ(std::strlen("C:\\Program Files\\Orv \"quoted\"") + 1, path.size());
        EXPECT_EQ((Bytes{0x41, 0, 0, 0}), query(key, "letter", type));
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
        EXPECT_EQ((Bytes{1, 2, 0, 0xff}), query(key, "Blob", type));
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
        Bytes expand = query(key, "Expand", type);
        EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
        EXPECT_EQ(std::string("%PATH%", 7), std::string(expand.begin(), expand.end()));
        Bytes multi = query(key, "Multi", type);
        EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
        EXPECT_EQ(std::string("one\0two\0\0", 9), std::string(multi.begin(), multi.end()));
        EXPECT_EQ((Bytes{0}), query(key, "Empty", type));
        Bytes byDefault = query(key, nullptr, type);
        EXPECT_STREQ("default text", reinterpret_cast<const char*>(byDefault.data()));
    }
};

TEST_F(RegistryTest, ReadsAllValueTypesOfAnAnsiExport)
{
    import(kExport5);
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\ORV", 0, KEY_READ, &key.handle));
    expectAllTypes(key.handle);
}

TEST_F(RegistryTest, ReadsUtf16LittleEndianExportsWithAndWithoutBom)
{
    import(utf16le(kExport5, true), "bom.reg");
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orv", 0, KEY_READ, &key.handle));
    expectAllTypes(key.handle);
    import(utf16le("Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\Bare]\r\n\"v\"=\"1\"\r\n", false), "bare.reg");
    Key bare;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_USERS, "Bare", 0, KEY_READ, &bare.handle));
}

TEST_F(RegistryTest, Regedit4StringDataStaysNarrow)
{
    import("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\.orv]\n\"Expand\"=hex(2):25,41,25,00\n\"Multi\"=hex(7):61,00,62,00,00\n");
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, ".orv", 0, KEY_READ, &key.handle));
    DWORD type = 0;
    EXPECT_EQ((Bytes{'%', 'A', '%', 0}), query(key.handle, "Expand", type));
    EXPECT_EQ((Bytes{'a', 0, 'b', 0, 0}), query(key.handle, "Multi", type));
}

TEST_F(RegistryTest, EnumeratesInImportOrderAndEnds)
{
    import(kExport5);
    import("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orv\\Beta]\n", "second.reg");
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orv", 0, KEY_READ, &key.handle));
    const char* expected[] = {"Zeta", "Alpha", "Beta"};
    for (DWORD i = 0; i < 3; ++i) {
        char name[256];
        DWORD capacity = 255;
        FILETIME written{};
        ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key.handle, i, name, &capacity, nullptr, nullptr, nullptr, &written));
        EXPECT_STREQ(expected[i], name);
        EXPECT_EQ(std::strlen(expected[i]), capacity);
    }
    char name[256];
    DWORD capacity = 255;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key.handle, 3, name, &capacity, nullptr, nullptr, nullptr, nullptr));

    const char* values[] = {"", "Path", "Letter", "Blob", "Expand", "Multi", "Empty"};
    for (DWORD i = 0; i < 7; ++i) {
        char valueName[16384];
        DWORD valueCapacity = 16383, type = 0;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegEnumValueA(key.handle, i, valueName, &valueCapacity, nullptr, &type, nullptr, nullptr));
        EXPECT_STREQ(values[i], valueName);
    }
    char valueName[32];
    DWORD valueCapacity = sizeof valueName;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key.handle, 7, valueName, &valueCapacity, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryTest, CapacityMustHoldTheNameAndItsTerminator)
{
    std::string longName(255, 'k');
    import("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Long\\" + longName + "]\n");
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Long", 0, KEY_READ, &key.handle));
    char name[257];
    DWORD capacity = 255;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key.handle, 0, name, &capacity, nullptr, nullptr, nullptr, nullptr));
    capacity = 256;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key.handle, 0, name, &capacity, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(longName, std::string(name));
    EXPECT_EQ(255u, capacity);
}

TEST_F(RegistryTest, QueryValueSizeProtocolAndMissingNames)
{
    import(kExport5);
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orv", 0, KEY_READ, &key.handle));
    BYTE small[2];
    DWORD size = sizeof small;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key.handle, "Path", nullptr, nullptr, small, &size));
    EXPECT_EQ(std::strlen("C:\\Program Files\\Orv \"quoted\"") + 1, size);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key.handle, "Nope", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key.handle, "Path", nullptr, nullptr, small, nullptr));
    Key missing;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", 0, KEY_READ, &missing.handle));
    EXPECT_EQ(nullptr, missing.handle);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_DYN_DATA, "Anything", 0, KEY_READ, &missing.handle));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(0x1234)));
}

TEST_F(RegistryTest, EmptyPathOpensTheRootItself)
{
    import(kExport5);
    Key root;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &root.handle));
    char name[256];
    DWORD capacity = 255;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(root.handle, 0, name, &capacity, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Software", name);
}

TEST_F(RegistryTest, LaterFilesOverrideAndDelete)
{
    import(kExport5);
    import("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orv]\n\"Path\"=\"new\"\n\"Blob\"=-\n"
           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Orv\\Zeta]\n",
           "later.reg");
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orv", 0, KEY_READ, &key.handle));
    DWORD type = 0;
    EXPECT_EQ((Bytes{'n', 'e', 'w', 0}), query(key.handle, "Path", type));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key.handle, "Blob", nullptr, nullptr, nullptr, &size));
    Key zeta;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key.handle, "Zeta", 0, KEY_READ, &zeta.handle));
}

TEST_F(RegistryTest, MalformedFilesNameTheLineAndProblem)
{
    expectRefused("[HKEY_LOCAL_MACHINE\\X]\n", "bad.reg:1: expected the header");
    expectRefused("REGEDIT4\n\n[HKEY_NOWHERE\\X]\n", ":3: unknown root key");
    expectRefused("REGEDIT4\n[HKLM\\X]\n\"v\"=dword:123456789\n", ":3: bad dword value");
    expectRefused("REGEDIT4\n[HKLM\\X]\n\"v\"=hex:01,zz\n", ":3: bad hex byte 'zz'");
    expectRefused("REGEDIT4\n\"v\"=\"x\"\n", ":2: value line outside of a key");
    expectRefused("REGEDIT4\n[HKLM\\X]\n\"v=\"x\n", ":3:");
    expectRefused("REGEDIT4\n[HKLM\\X\n", ":2: key line without closing");
    expectRefused(std::string("\xFF\xFE\x41", 3), "UTF-16LE");
    expectRefused("Windows Registry Editor Version 5.00\n[HKLM\\X]\n\"v\"=hex(2):41,00,42\n",
                  ":3: string data are not valid UTF-16LE");
    // Nothing of a refused file reaches the registry.
    struct stat st {};
    EXPECT_NE(0, stat((root() + "/registry").c_str(), &st));
}

TEST_F(RegistryTest, DamagedRegistryFileGivesBadDb)
{
    ASSERT_EQ(0, mkdir((root() + "/registry").c_str(), 0700));
    writeFile("registry/0001-broken.reg", "REGEDIT4\n[HKLM\\X]\nnonsense\n");
    Key key;
    EXPECT_EQ(ERROR_BADDB, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "X", 0, KEY_READ, &key.handle));
}

TEST_F(RegistryTest, OpenHandlesKeepTheirSnapshotWhileNewOpensSeeChanges)
{
    import(kExport5);
    Key before;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orv", 0, KEY_READ, &before.handle));
    import("REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orv]\n\"Added\"=\"1\"\n", "added.reg");
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(before.handle, "Added", nullptr, nullptr, nullptr, &size));
    Key after;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orv", 0, KEY_READ, &after.handle));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(after.handle, "Added", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(2u, size);
}

TEST_F(RegistryTest, ConcurrentReadersSeeConsistentValues)
{
    import(kExport5);
    std::vector<int> good(4, 0);
    onThreads(good.size(), [&](std::size_t t) {
        for (int i = 0; i < 50; ++i) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orv", 0, KEY_READ, &key) != ERROR_SUCCESS)
                continue;
            BYTE data[4] = {0};
            DWORD size = sizeof data, type = 0;
            if (RegQueryValueExA(key, "Letter", nullptr, &type, data, &size) == ERROR_SUCCESS && type == REG_DWORD &&
                data[0] == 0x41)
                ++good[t];
            RegCloseKey(key);
        }
    });
    for (int count : good)
        EXPECT_EQ(50, count);
}

} // namespace
