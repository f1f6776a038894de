// The export definitions the linkers read (ORVNative.def, ORVNative64.def and
// ORVNative.map) against the class tables' exported names.
#include "ExpectedNatives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

std::vector<std::string> linesOf(const std::string& file)
{
    std::ifstream in(std::string(ORV_JNIBRIDGE_DIR) + "/" + file);
    EXPECT_TRUE(in) << file;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// "@ordinal name" of each export the .def names.
std::vector<std::string> defExports(const std::string& file)
{
    static const std::regex exportLine(R"re(^\s+"?([^" ]+)"?(?: = \S+)? @(\d+)$)re");
    std::vector<std::string> exports;
    std::smatch m;
    for (const std::string& line : linesOf(file)) {
        if (std::regex_match(line, m, exportLine)) {
            exports.push_back("@" + m[2].str() + " " + m[1].str());
        }
    }
    return exports;
}

// The table's decorated names in byte order, numbered from 1, then the load hook.
std::vector<std::string> tableExports(const char* ExpectedNative::*decorated, const std::string& onLoad)
{
    std::vector<std::string> names;
    for (const ExpectedNative& row : ExpectedNatives::rows) {
        if (*(row.*decorated) != '\0') {
            names.emplace_back(row.*decorated);
        }
    }
    std::sort(names.begin(), names.end());
    names.push_back(onLoad);
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = "@" + std::to_string(i + 1) + " " + names[i];
    }
    return names;
}

} // namespace

TEST(ExportDefinition, X86DefExportsTheTablesNamesInOrdinalOrder)
{
    EXPECT_EQ(defExports("ORVNative.def"), tableExports(&ExpectedNative::x86, "_JNI_OnLoad@8"));
}

TEST(ExportDefinition, X64DefExportsTheTablesNamesInOrdinalOrder)
{
    EXPECT_EQ(defExports("ORVNative64.def"), tableExports(&ExpectedNative::x64, "JNI_OnLoad"));
}

TEST(ExportDefinition, EveryRowExportsOnBothOrNeither)
{
    for (const ExpectedNative& row : ExpectedNatives::rows) {
        EXPECT_EQ(*row.x86 == '\0', *row.x64 == '\0') << row.name;
    }
}

TEST(ExportDefinition, VersionScriptKeepsExactlyTheExportedEntryFunctions)
{
    static const std::regex entryLine(R"re(^\s+"([^"(]+)\(.*\)";$)re");
    std::vector<std::string> kept;
    std::smatch m;
    for (const std::string& line : linesOf("ORVNative.map")) {
        if (std::regex_match(line, m, entryLine)) {
            kept.push_back(m[1].str());
        }
    }
    std::vector<std::string> exported;
    for (const ExpectedNative& row : ExpectedNatives::rows) {
        if (*row.x86 != '\0') {
            exported.emplace_back(row.entry);
        }
    }
    std::sort(kept.begin(), kept.end());
    std::sort(exported.begin(), exported.end());
    EXPECT_EQ(kept, exported);
}
