#include "bench/DirectBench.h"

#include "pkcs11bridge/CallLock.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace Bench {

namespace {

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string hex(const unsigned char* data, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

std::string hex(const Bytes& bytes)
{
    return hex(bytes.data(), bytes.size());
}

DirectBench::Operation operationNamed(const std::string& name)
{
    static const std::pair<const char*, DirectBench::Operation> names[] = {
        {"sign-sha1", DirectBench::Operation::sign1},      {"sign-sha256", DirectBench::Operation::sign256},
        {"verify", DirectBench::Operation::verify},        {"verify-bad", DirectBench::Operation::verifyBad},
        {"decrypt", DirectBench::Operation::decrypt},      {"digest-1k", DirectBench::Operation::digest1k},
        {"digest-1m", DirectBench::Operation::digest1m},   {"random-32", DirectBench::Operation::random32},
        {"random-1", DirectBench::Operation::random1},     {"session", DirectBench::Operation::session},
        {"token-info", DirectBench::Operation::tokenInfo}, {"list", DirectBench::Operation::list}};
    for (const auto& entry : names) {
        if (name == entry.first) {
            return entry.second;
        }
    }
    throw std::runtime_error("unknown operation " + name);
}

long long threadCpuNanos()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

DirectBench::DirectBench(const std::string& modulePath, const std::string& work, const std::string& pin)
    : module(modulePath), pin(pin), certificate(readFile(work + "/cert.der")), data1k(readFile(work + "/data-1k.bin")),
      data1m(readFile(work + "/data-1m.bin")), signature(readFile(work + "/data-1k.sha256.sig")),
      badSignature(signature), cipherText(readFile(work + "/secret.enc"))
{
    if (!badSignature.empty()) {
        badSignature[badSignature.size() / 2] ^= 0x01;
    }
}

DirectToken& DirectBench::token(const std::string& label)
{
    auto known = tokens.find(label);
    if (known != tokens.end()) {
        return *known->second;
    }
    const CK_SLOT_ID slot = module.slotOfToken(label);
    auto created =
        std::make_unique<DirectToken>(module.functions(), slot, DirectToken::openSession(module.functions(), slot));
    created->login(pin);
    return *tokens.emplace(label, std::move(created)).first->second;
}

void DirectBench::perform(DirectToken& token, Operation operation)
{
    perform(token, operation, outputs);
}

void DirectBench::perform(DirectToken& token, Operation operation, std::vector<Bytes>& outputs) const
{
    outputs.clear();
    switch (operation) {
    case Operation::sign1:
        outputs.push_back(token.sign(certificate, data1k, CKM_SHA1_RSA_PKCS));
        break;
    case Operation::sign256:
        outputs.push_back(token.sign(certificate, data1k, CKM_SHA256_RSA_PKCS));
        break;
    case Operation::verify:
        outputs.push_back(Bytes(1, token.verify(certificate, data1k, signature, CKM_SHA256_RSA_PKCS) ? 1 : 0));
        break;
    case Operation::verifyBad:
        outputs.push_back(Bytes(1, token.verify(certificate, data1k, badSignature, CKM_SHA256_RSA_PKCS) ? 1 : 0));
        break;
    case Operation::decrypt:
        outputs.push_back(token.decrypt(certificate, cipherText, CKM_RSA_PKCS));
        break;
    case Operation::digest1k:
        outputs.push_back(token.digest(CKM_SHA_1, data1k));
        break;
    case Operation::digest1m:
        outputs.push_back(token.digest(CKM_SHA_1, data1m));
        break;
    case Operation::random32:
        outputs.push_back(token.generateRandom(32));
        break;
    case Operation::random1:
        outputs.push_back(token.generateRandom(1));
        break;
    case Operation::session:
        outputs.push_back(Bytes(1, token.sessionOpened() ? 1 : 0));
        break;
    case Operation::tokenInfo: {
        const CK_TOKEN_INFO info = token.tokenInfo();
        outputs.push_back(Bytes(info.label, info.label + sizeof info.label));
        break;
    }
    case Operation::list:
        outputs = token.listCertificates();
        break;
    }
}

std::string DirectBench::outputsAsText() const
{
    std::string all;
    for (const Bytes& value : outputs) {
        all += (all.empty() ? "" : ",") + hex(value);
    }
    return all;
}

// Whole batches until the budget is spent; a budget of 0 runs one batch.
std::string DirectBench::timed(DirectToken& token, Operation operation, long batch, long budgetMilliseconds)
{
    using Clock = std::chrono::steady_clock;
    const long long cpuStart = threadCpuNanos();
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(budgetMilliseconds);
    long count = 0;
    Clock::time_point now;
    do {
        for (long i = 0; i < batch; ++i) {
            perform(token, operation);
        }
        count += batch;
        now = Clock::now();
    } while (now < deadline);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start).count();
    const long long cpuNanos = threadCpuNanos() - cpuStart;
    return "ok " + std::to_string(count) + " " + std::to_string(nanos) + " " + std::to_string(cpuNanos);
}

// One thread per token, all taking turns at the bridge's lock as the bridge's
// callers do, so the module's own cost of being called from threads that take
// turns shows without the bridge or a Java VM. Answers as `timed`, for all
// threads together, then each thread's last outputs.
std::string DirectBench::takingTurns(const std::vector<std::string>& labels, Operation operation, long batch,
                                     long budgetMilliseconds)
{
    using Clock = std::chrono::steady_clock;
    std::vector<DirectToken*> tokensInUse;
    for (const std::string& label : labels) {
        tokensInUse.push_back(&token(label));
    }
    PKCS11Bridge::CallLock lock;
    std::vector<long> counts(labels.size());
    std::vector<long long> cpuNanos(labels.size());
    std::vector<std::vector<Bytes>> lastOutputs(labels.size());
    std::vector<std::string> failures(labels.size());
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(budgetMilliseconds);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < labels.size(); ++t) {
        threads.emplace_back([&, t] {
            const long long cpuStart = threadCpuNanos();
            try {
                do {
                    for (long i = 0; i < batch; ++i) {
                        const std::lock_guard<PKCS11Bridge::CallLock> turn(lock);
                        perform(*tokensInUse[t], operation, lastOutputs[t]);
                    }
                    counts[t] += batch;
                } while (Clock::now() < deadline);
            } catch (const std::exception& e) {
                failures[t] = e.what();
            }
            cpuNanos[t] = threadCpuNanos() - cpuStart;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    std::string outputsText;
    long count = 0;
    long long cpu = 0;
    for (std::size_t t = 0; t < labels.size(); ++t) {
        if (!failures[t].empty()) {
            throw std::runtime_error("thread " + std::to_string(t) + ": " + failures[t]);
        }
        count += counts[t];
        cpu += cpuNanos[t];
        std::string separator = " ";
        for (const Bytes& value : lastOutputs[t]) {
            outputsText += separator + hex(value);
            separator = ",";
        }
    }
    return "ok " + std::to_string(count) + " " + std::to_string(nanos) + " " + std::to_string(cpu) + outputsText;
}

std::string DirectBench::answer(const std::string& request)
{
    try {
        std::istringstream words(request);
        std::string command, label, operation;
        words >> command >> label >> operation;
        // Token labels travel with '_' for blanks.
        for (char& c : label) {
            c = c == '_' ? ' ' : c;
        }
        if (command == "result") {
            perform(token(label), operationNamed(operation));
            return "ok " + outputsAsText();
        }
        if (command == "run") {
            long batch = 0, budget = -1;
            words >> batch >> budget;
            if (batch <= 0 || budget < 0) {
                throw std::runtime_error("run needs a positive batch and a budget");
            }
            return timed(token(label), operationNamed(operation), batch, budget);
        }
        if (command == "turns") {
            long batch = 0, budget = -1;
            words >> batch >> budget;
            std::vector<std::string> labels;
            std::istringstream list(label);
            for (std::string one; std::getline(list, one, ',');) {
                labels.push_back(one);
            }
            if (batch <= 0 || budget < 0 || labels.empty()) {
                throw std::runtime_error("turns needs tokens, a positive batch and a budget");
            }
            return takingTurns(labels, operationNamed(operation), batch, budget);
        }
        throw std::runtime_error("unknown request: " + request);
    } catch (const std::exception& e) {
        return std::string("error ") + e.what();
    }
}

} // namespace Bench
