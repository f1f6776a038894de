// Runs the statements of a case file against the library inside the host VM,
// checks each outcome against its expectation and writes the transcript.
#ifndef ORV_TESTS_JNIHOST_CASERUNNER_H
#define ORV_TESTS_JNIHOST_CASERUNNER_H

#include "CaseFile.h"
#include "HostLibrary.h"
#include "HostVM.h"
#include "HostWindow.h"
#include "NativeInvoker.h"

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class P11MockControl;

class CaseRunner {
public:
    CaseRunner(HostVM& vm, const HostLibrary& library, const std::string& mockPath, const std::string& materialDir);
    ~CaseRunner();

    // Returns the number of statements whose outcome missed its expectation.
    int run(const CaseFile& cases, std::ostream& transcript, std::ostream& errors);
    // One line per native whose runs miss what the cover lines ask of it
    // (both a success and a failure where they name nothing), and per cover
    // line that names no native or asks less than the runs already show.
    std::vector<std::string> coverageGaps(const std::map<std::string, std::string>& asks) const;

private:
    struct Argument {
        jvalue value{};
        bool rendered = false; // written out after the call
    };

    std::string execute(const CaseStatement& statement);
    std::string call(const std::vector<std::string>& tokens, std::size_t first);
    std::string repeat(const CaseStatement& statement);
    std::string mock(const std::vector<std::string>& tokens);
    std::string window(const std::vector<std::string>& tokens);
    Argument argument(const std::string& type, const std::string& token);
    std::vector<unsigned char> bytesOf(const std::string& token);
    std::string renderResult(const NativeResult& result, const std::string& signature);
    P11MockControl& control();

    HostVM& vm_;
    const HostLibrary& library_;
    std::string mockPath_;
    std::string materialDir_;
    std::unique_ptr<P11MockControl> control_;
    std::unique_ptr<HostWindow> window_;
    std::map<std::string, std::vector<unsigned char>> saved_;
    std::map<std::string, bool> succeeded_;
    std::map<std::string, bool> failed_;
};

#endif
