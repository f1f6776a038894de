// The cases as data. One statement per line; '#' starts a comment line.
//
//   [platforms] statement => expected
//   [platforms] => expected          overrides the line above on those platforms
//
// platforms is a comma list of linux, standin (the Linux library over the
// Win32 stand-in), win32, win64 and wine (both Windows builds); without it a
// line applies everywhere. Statements:
//
//   call Class.method arg... [as NAME]   one native, arguments read by its signature
//   repeat N call ...                    the same call N times, same outcome each time
//   mock reset | fail FN RV NTH | present SLOT 0|1 | event SLOT | clear-faults
//   mock label SLOT BYTES                a token label byte for byte (BYTES as a byte[] argument)
//   mock calls                           PKCS#11 functions the module saw since the last look
//   window open | window quit            a window titled "Access Bridge status" (Windows)
//   cover Class.method any|failure       what the coverage check asks of a native that cannot
//                                        both succeed and fail here: any outcome, or a failure;
//                                        the last line that applies counts
//
// ${NAME} takes a variable given on the command line; ${bytes:FILE} the
// rendering of a material file's bytes, ${hex:FILE} their hex, ${list:PREFIX}
// the rendering of a list holding every material file whose name starts so. In an
// expectation, {hex} stands for any run of hex digits.
#ifndef ORV_TESTS_JNIHOST_CASEFILE_H
#define ORV_TESTS_JNIHOST_CASEFILE_H

#include <map>
#include <string>
#include <vector>

struct CaseStatement {
    int line = 0;
    std::string text;                // the statement without platforms and expectation
    std::vector<std::string> tokens; // text split into words; quoted strings keep their quotes
    bool hasExpectation = false;
    std::string expected;
};

class CaseFile {
public:
    CaseFile(const std::string& path, const std::string& platform, const std::map<std::string, std::string>& vars,
             const std::string& materialDir);

    const std::vector<CaseStatement>& statements() const noexcept { return statements_; }
    // Native name to what its cover line asks; natives without one need both outcomes.
    const std::map<std::string, std::string>& coverage() const noexcept { return coverage_; }

    static std::vector<std::string> tokenize(const std::string& text);
    // A quoted token's UTF-16 text; escapes \\ \" \n \t \uXXXX.
    static std::u16string unquote(const std::string& token);
    static std::vector<unsigned char> readFile(const std::string& path);
    static std::string hex(const std::vector<unsigned char>& bytes);
    static std::string renderBytes(const std::vector<unsigned char>& bytes);
    // Lists as the natives fill them hold no order of their own, so their
    // items are written sorted.
    static std::string renderList(std::vector<std::string> items);
    static bool matches(const std::string& expected, const std::string& actual);

private:
    bool appliesHere(const std::string& platforms) const;
    std::string substitute(const std::string& text, int line) const;
    std::vector<std::string> renderFiles(const std::string& prefix) const;

    std::string platform_;
    std::map<std::string, std::string> vars_;
    std::string materialDir_;
    std::vector<CaseStatement> statements_;
    std::map<std::string, std::string> coverage_;
};

#endif
