// orvbench-direct --module PATH --work DIR: the direct side of `make bench`.
// Reads the PIN from ORV_BENCH_PIN and requests from standard input.
#include "bench/DirectBench.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <thread>

namespace {

int serve(const std::string& module, const std::string& work, const char* pin)
{
    try {
        Bench::DirectBench bench(module, work, pin);
        std::cout << "ready" << std::endl;
        std::string line;
        while (std::getline(std::cin, line) && line != "quit") {
            std::cout << bench.answer(line) << std::endl;
        }
    } catch (const std::exception& e) {
        std::cout << "error " << e.what() << std::endl;
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string module, work;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--module") == 0) {
            module = argv[i + 1];
        } else if (std::strcmp(argv[i], "--work") == 0) {
            work = argv[i + 1];
        }
    }
    const char* pin = std::getenv("ORV_BENCH_PIN");
    if (module.empty() || work.empty() || pin == nullptr) {
        std::cerr << "usage: ORV_BENCH_PIN=... orvbench-direct --module PATH --work DIR\n";
        return 2;
    }
    // The module is called from a second thread of a process with more than
    // one, as it is inside a Java VM: there the C library takes locks on every
    // allocation and the thread has an allocation arena of its own, which
    // makes the module itself slower than in a single-threaded program. The
    // comparison should hold only the bridge's cost, not that.
    int status = 1;
    std::thread caller([&] { status = serve(module, work, pin); });
    caller.join();
    return status;
}
