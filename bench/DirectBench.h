// The direct side of the benchmark: answers the Java driver's requests, one
// line each, by running an operation on a token with DirectToken.
//
//   run LABEL OP BATCH BUDGET_MS  ->  ok COUNT NANOSECONDS THREAD_CPU_NANOSECONDS
//   result LABEL OP               ->  ok HEX[,HEX...]
//   turns LABEL,LABEL... OP BATCH BUDGET_MS
//                                 ->  ok COUNT NANOSECONDS CPU_NANOSECONDS HEX[,HEX...] (per thread)
#ifndef ORV_BENCH_DIRECTBENCH_H
#define ORV_BENCH_DIRECTBENCH_H

#include "bench/DirectModule.h"
#include "bench/DirectToken.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Bench {

class DirectBench {
public:
    enum class Operation {
        sign1,
        sign256,
        verify,
        verifyBad,
        decrypt,
        digest1k,
        digest1m,
        random32,
        random1,
        session,
        tokenInfo,
        list
    };

    // The work directory holds the inputs the setup script made.
    DirectBench(const std::string& modulePath, const std::string& workDirectory, const std::string& pin);

    // One request line in, one answer line out; failures answer "error ...".
    std::string answer(const std::string& request);

private:
    DirectToken& token(const std::string& label);
    // Runs the operation once; its output stays in `outputs` (reused, so the
    // timed loop allocates no more than the bridge's own output).
    void perform(DirectToken& token, Operation operation);
    void perform(DirectToken& token, Operation operation, std::vector<Bytes>& outputs) const;
    std::string outputsAsText() const;
    std::string timed(DirectToken& token, Operation operation, long batch, long budgetMilliseconds);
    std::string takingTurns(const std::vector<std::string>& labels, Operation operation, long batch,
                            long budgetMilliseconds);

    DirectModule module;
    std::string pin;
    Bytes certificate;
    Bytes data1k;
    Bytes data1m;
    Bytes signature;
    Bytes badSignature;
    Bytes cipherText;
    std::map<std::string, std::unique_ptr<DirectToken>> tokens;
    std::vector<Bytes> outputs;
};

} // namespace Bench

#endif
