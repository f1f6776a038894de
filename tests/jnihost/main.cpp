// jnihost: loads ORVNative as a Java VM would, inside a VM of its own, and
// runs a case file against every native it registered.
//
//   jnihost --library PATH --cases FILE --platform linux|standin|win32|win64
//           --material DIR --mock PATH --transcript FILE [--provision-capi]
//           [--require-coverage]
#include "CapiProvisioning.h"
#include "CaseFile.h"
#include "CaseRunner.h"
#include "HostClasses.h"
#include "HostLibrary.h"
#include "HostVM.h"

#include "../library/ExpectedNatives.h"

#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>

namespace {

struct Options {
    std::string library;
    std::string cases;
    std::string platform;
    std::string material;
    std::string mock;
    std::string transcript;
    bool provisionCapi = false;
    bool requireCoverage = false;
};

bool parse(int argc, char** argv, Options& o)
{
    std::map<std::string, std::string*> valued = {{"--library", &o.library},   {"--cases", &o.cases},
                                                  {"--platform", &o.platform}, {"--material", &o.material},
                                                  {"--mock", &o.mock},         {"--transcript", &o.transcript}};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--provision-capi") {
            o.provisionCapi = true;
        } else if (option == "--require-coverage") {
            o.requireCoverage = true;
        } else if (valued.count(option) != 0 && i + 1 < argc) {
            *valued[option] = argv[++i];
        } else {
            return false;
        }
    }
    for (const auto& entry : valued) {
        if (entry.second->empty()) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << "usage: jnihost --library PATH --cases FILE --platform linux|standin|win32|win64 --material DIR"
                     " --mock PATH --transcript FILE [--provision-capi] [--require-coverage]\n";
        return 2;
    }
    try {
        const auto provisioning =
            options.provisionCapi ? std::make_unique<CapiProvisioning>(options.material) : nullptr;
        const CaseFile cases(options.cases, options.platform, {{"MOCK", options.mock}}, options.material);
        HostClasses classes;
        HostVM vm(classes);
        HostLibrary library(options.library, vm);
        if (vm.bindings().size() != ExpectedNatives::rowCount) {
            std::cerr << "jnihost: the load hook registered " << vm.bindings().size() << " natives, not "
                      << ExpectedNatives::rowCount << "\n";
            return 1;
        }
        std::ofstream transcript(options.transcript, std::ios::binary);
        if (!transcript) {
            std::cerr << "jnihost: cannot write " << options.transcript << "\n";
            return 2;
        }
        CaseRunner runner(vm, library, options.mock, options.material);
        const int failures = runner.run(cases, transcript, std::cerr);
        std::cout << cases.statements().size() - failures << " passed, " << failures << " failed\n";
        int gaps = 0;
        if (options.requireCoverage) {
            for (const std::string& gap : runner.coverageGaps(cases.coverage())) {
                std::cerr << "jnihost: " << gap << "\n";
                ++gaps;
            }
        }
        return failures + gaps == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "jnihost: " << e.what() << "\n";
        return 2;
    }
}
