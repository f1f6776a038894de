// Runs a case file's statements against the library inside the host VM and writes the transcript.
#include "CaseRunner.h"

#include "NativeInvoker.h"
#include "ObjectRenderer.h"
#include "P11MockControl.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <stdexcept>

namespace {

const char* const kOutPrefix = "out:";

bool startsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::vector<std::string> parameterTypes(const std::string& signature)
{
    std::vector<std::string> types;
    std::size_t i = 1;
    while (signature[i] != ')') {
        std::size_t end = i;
        while (signature[end] == '[') {
            ++end;
        }
        end = signature[end] == 'L' ? signature.find(';', end) + 1 : end + 1;
        types.push_back(signature.substr(i, end - i));
        i = end;
    }
    return types;
}

jint parseInt(const std::string& token)
{
    std::size_t used = 0;
    const long long value = std::stoll(token, &used, 0);
    if (used != token.size() || value < -2147483648LL || value > 0xFFFFFFFFLL) {
        throw std::runtime_error("not an int: " + token);
    }
    return static_cast<jint>(static_cast<std::uint32_t>(value));
}

unsigned long parseUnsigned(const std::string& token)
{
    return std::stoul(token, nullptr, 0);
}

} // namespace

CaseRunner::CaseRunner(HostVM& vm, const HostLibrary& library, const std::string& mockPath,
                       const std::string& materialDir)
    : vm_(vm), library_(library), mockPath_(mockPath), materialDir_(materialDir)
{
}

CaseRunner::~CaseRunner() = default;

int CaseRunner::run(const CaseFile& cases, std::ostream& transcript, std::ostream& errors)
{
    int failures = 0;
    for (const CaseStatement& statement : cases.statements()) {
        vm_.setActivity("line " + std::to_string(statement.line) + ": " + statement.text);
        std::string actual;
        try {
            actual = execute(statement);
        } catch (const std::exception& e) {
            errors << "line " << statement.line << ": " << e.what() << "\n";
            ++failures;
            continue;
        }
        transcript << statement.text;
        if (!actual.empty()) {
            transcript << " => " << actual;
        }
        transcript << std::endl; // a misuse ends the process; what ran before stays written
        if (statement.hasExpectation && !CaseFile::matches(statement.expected, actual)) {
            errors << "line " << statement.line << ": " << statement.text << "\n  expected: " << statement.expected
                   << "\n  actual:   " << actual << "\n";
            ++failures;
        }
    }
    return failures;
}

std::string CaseRunner::execute(const CaseStatement& statement)
{
    const std::vector<std::string>& tokens = statement.tokens;
    if (tokens.empty()) {
        throw std::runtime_error("empty statement");
    }
    if (tokens[0] == "call") {
        return call(tokens, 1);
    }
    if (tokens[0] == "repeat") {
        return repeat(statement);
    }
    if (tokens[0] == "mock") {
        return mock(tokens);
    }
    if (tokens[0] == "window") {
        return window(tokens);
    }
    throw std::runtime_error("unknown statement " + tokens[0]);
}

// The same call many times: every outcome the same, no local references
// beyond the frame's capacity (checked per call) and no global reference
// kept by any call after the first.
std::string CaseRunner::repeat(const CaseStatement& statement)
{
    const std::vector<std::string>& tokens = statement.tokens;
    if (tokens.size() < 3 || tokens[2] != "call") {
        throw std::runtime_error("repeat N call ...");
    }
    const int times = parseInt(tokens[1]);
    if (times < 2 || times > 10000) {
        throw std::runtime_error("repeat takes 2 to 10000 calls");
    }
    const std::string first = call(tokens, 3);
    const std::size_t globals = vm_.globalCount();
    for (int i = 1; i < times; ++i) {
        const std::string again = call(tokens, 3);
        if (again != first) {
            throw std::runtime_error("call " + std::to_string(i + 1) + " gave " + again + " after " + first);
        }
        if (vm_.globalCount() != globals) {
            vm_.misuse("global references grew from " + std::to_string(globals) + " to " +
                       std::to_string(vm_.globalCount()) + " over " + std::to_string(i + 1) + " calls");
        }
    }
    return first;
}

std::string CaseRunner::call(const std::vector<std::string>& tokens, std::size_t first)
{
    if (tokens.size() <= first) {
        throw std::runtime_error("call needs Class.method");
    }
    const HostBinding& binding = library_.binding(tokens[first]);
    const std::string& signature = binding.method->signature;
    const std::vector<std::string> types = parameterTypes(signature);
    std::size_t end = tokens.size();
    std::string saveAs;
    if (end >= first + 3 && tokens[end - 2] == "as") {
        saveAs = tokens[end - 1];
        end -= 2;
    }
    if (end - first - 1 != types.size()) {
        throw std::runtime_error(tokens[first] + " takes " + std::to_string(types.size()) + " arguments");
    }

    vm_.pushFrame();
    const bool isStatic = binding.cls->name != "orvane/clapi/crypto/CapiToken";
    jobject receiver = vm_.newLocal(isStatic ? vm_.classObject(binding.cls) : vm_.newObject(binding.cls));
    std::vector<jvalue> values;
    std::vector<std::size_t> rendered;
    for (std::size_t i = 0; i < types.size(); ++i) {
        Argument a = argument(types[i], tokens[first + 1 + i]);
        values.push_back(a.value);
        if (a.rendered) {
            rendered.push_back(i);
        }
    }
    const std::size_t argumentLocals = vm_.liveLocals();

    const NativeResult result = NativeInvoker::invoke(signature, binding.function, vm_.env(), receiver, values);

    vm_.requireAllReleased(tokens[first]);
    const std::size_t peak = vm_.peakLocals();
    if (peak > argumentLocals + HostVM::kLocalCapacity) {
        vm_.misuse(tokens[first] + " held " + std::to_string(peak - argumentLocals) +
                   " local references at once, more than the frame's " + std::to_string(HostVM::kLocalCapacity));
    }
    // A real VM frees a native's locals when it returns, so a leak shows only
    // here: what is left alive may be the object result and nothing else.
    const std::size_t resultLocals = result.kind == 'L' && result.l != nullptr ? 1 : 0;
    if (vm_.liveLocals() > argumentLocals + resultLocals) {
        vm_.misuse(tokens[first] + " returned with " + std::to_string(vm_.liveLocals() - argumentLocals) +
                   " local reference(s) of its own alive, where its result needs " + std::to_string(resultLocals));
    }
    std::string outcome;
    // A CapiToken native that returns a long reports failure by a code.
    const bool failed = vm_.pendingException() != nullptr || (result.kind == 'J' && !isStatic && result.j != 0);
    (failed ? failed_ : succeeded_)[tokens[first]] = true;
    if (HostObject* thrown = vm_.pendingException()) {
        outcome = ObjectRenderer::renderThrowable(thrown);
        vm_.clearPendingException();
    } else {
        outcome = renderResult(result, signature);
        if (!saveAs.empty()) {
            HostObject* bytes = vm_.deref(result.l, "the returned value");
            if (bytes == nullptr || bytes->cls->name != "[B") {
                throw std::runtime_error("only a byte[] result can be saved");
            }
            saved_[saveAs] = bytes->bytes;
        }
    }
    for (std::size_t i : rendered) {
        outcome += " | " + ObjectRenderer::render(vm_.deref(values[i].l, "an argument"));
    }
    vm_.popFrame();
    return outcome;
}

std::vector<std::string> CaseRunner::coverageGaps(const std::map<std::string, std::string>& asks) const
{
    std::vector<std::string> gaps;
    std::set<std::string> bound;
    for (const HostBinding& b : vm_.bindings()) {
        const std::string name = b.cls->name.substr(b.cls->name.rfind('/') + 1) + "." + b.method->name;
        bound.insert(name);
        const bool succeeded = succeeded_.count(name) != 0;
        const bool failed = failed_.count(name) != 0;
        const auto ask = asks.find(name);
        if (ask == asks.end()) {
            if (!succeeded || !failed) {
                gaps.push_back("no case runs " + name + " both to a success and to a failure");
            }
        } else if (succeeded && failed) {
            gaps.push_back("cover " + name + " " + ask->second + " asks less than its cases show: both outcomes");
        } else if (ask->second == "any" ? !succeeded && !failed : !failed) {
            gaps.push_back("no case runs " + name + (ask->second == "any" ? "" : " to a failure"));
        }
    }
    for (const auto& ask : asks) {
        if (bound.count(ask.first) == 0) {
            gaps.push_back("cover names " + ask.first + ", which the library does not register");
        }
    }
    return gaps;
}

std::string CaseRunner::renderResult(const NativeResult& result, const std::string& signature)
{
    switch (result.kind) {
    case 'V':
        return "void";
    case 'I':
        return "int " + std::to_string(result.i);
    case 'J':
        return "long " + std::to_string(result.j);
    case 'Z':
        if (result.z != JNI_TRUE && result.z != JNI_FALSE) {
            vm_.misuse("a native of signature " + signature + " returned jboolean " + std::to_string(result.z));
        }
        return result.z ? "boolean true" : "boolean false";
    default:
        break;
    }
    HostObject* object = vm_.deref(result.l, "the returned value");
    const std::string declared = signature.substr(signature.find(')') + 1);
    const std::string declaredClass = declared[0] == 'L' ? declared.substr(1, declared.size() - 2) : declared;
    if (object != nullptr && !object->cls->isSubclassOf(vm_.classes().require(declaredClass))) {
        vm_.misuse("a native declared to return " + declared + " returned a " + object->cls->javaName());
    }
    return ObjectRenderer::render(object);
}

CaseRunner::Argument CaseRunner::argument(const std::string& type, const std::string& rawToken)
{
    Argument a;
    std::string token = rawToken;
    if (startsWith(token, kOutPrefix)) {
        a.rendered = true;
        token = token.substr(std::strlen(kOutPrefix));
    }
    if (type == "I") {
        a.value.i = parseInt(token);
        return a;
    }
    if (type == "Z") {
        if (token != "true" && token != "false") {
            throw std::runtime_error("not a boolean: " + token);
        }
        a.value.z = token == "true" ? JNI_TRUE : JNI_FALSE;
        return a;
    }
    if (token == "null") {
        a.value.l = nullptr;
        return a;
    }
    HostObject* object = nullptr;
    if (type == "Ljava/lang/String;") {
        object = vm_.newString(CaseFile::unquote(token));
    } else if (type == "[B") {
        object = vm_.newObject("[B");
        object->bytes = bytesOf(token);
    } else if (type == "[Z" && startsWith(token, "booleans:")) {
        object = vm_.newObject("[Z");
        object->bytes.assign(std::stoul(token.substr(9)), JNI_FALSE);
    } else if (type == "Ljava/util/LinkedList;" && token == "list") {
        object = vm_.newObject("java/util/LinkedList");
    } else if (type == "Ljava/nio/ByteBuffer;" && (startsWith(token, "direct:") || startsWith(token, "heap:"))) {
        object = vm_.newObject("java/nio/ByteBuffer");
        object->direct = startsWith(token, "direct:");
        object->bytes.assign(std::stoul(token.substr(token.find(':') + 1)), 0);
    } else {
        throw std::runtime_error("cannot make a " + type + " of " + token);
    }
    a.value.l = vm_.newLocal(object);
    return a;
}

std::vector<unsigned char> CaseRunner::bytesOf(const std::string& token)
{
    if (token.size() >= 2 && token.front() == '"') {
        const std::u16string text = CaseFile::unquote(token);
        return std::vector<unsigned char>(text.begin(), text.end());
    }
    if (startsWith(token, "hex:")) {
        std::vector<unsigned char> bytes;
        for (std::size_t i = 4; i + 1 < token.size(); i += 2) {
            bytes.push_back(static_cast<unsigned char>(std::stoul(token.substr(i, 2), nullptr, 16)));
        }
        return bytes;
    }
    if (startsWith(token, "file:")) {
        return CaseFile::readFile(materialDir_ + "/" + token.substr(5));
    }
    if (startsWith(token, "zero:")) {
        return std::vector<unsigned char>(std::stoul(token.substr(5)), 0);
    }
    if (startsWith(token, "$")) {
        auto it = saved_.find(token.substr(1));
        if (it == saved_.end()) {
            throw std::runtime_error("nothing saved as " + token.substr(1));
        }
        return it->second;
    }
    throw std::runtime_error("cannot make bytes of " + token);
}

P11MockControl& CaseRunner::control()
{
    if (!control_) {
        control_ = std::make_unique<P11MockControl>(mockPath_);
    }
    return *control_;
}

std::string CaseRunner::mock(const std::vector<std::string>& tokens)
{
    const std::string command = tokens.size() > 1 ? tokens[1] : std::string();
    const std::size_t n = tokens.size();
    P11MockControl& m = control();
    // The mock's setters answer 0 when they took the request.
    auto require = [](int answer, const std::string& refusal) {
        if (answer != 0) {
            throw std::runtime_error(refusal);
        }
    };
    if (command == "reset" && n == 2) {
        m.reset();
    } else if (command == "clear-faults" && n == 2) {
        m.clear_faults();
    } else if (command == "fail" && n == 5) {
        require(m.fail(tokens[2].c_str(), parseUnsigned(tokens[3]), parseUnsigned(tokens[4])),
                "the mock knows no " + tokens[2]);
    } else if (command == "present" && n == 4) {
        require(m.set_token_present(parseUnsigned(tokens[2]), tokens[3] != "0"), "the mock has no slot " + tokens[2]);
    } else if (command == "label" && n == 4) {
        const std::vector<unsigned char> label = bytesOf(tokens[3]);
        require(m.set_token_label(parseUnsigned(tokens[2]), label.data(), label.size()),
                "the mock takes no such label for slot " + tokens[2]);
    } else if (command == "event" && n == 3) {
        m.queue_slot_event(parseUnsigned(tokens[2]));
    } else if (command == "calls" && n == 2) {
        std::string names;
        for (const std::string& name : m.calledFunctions()) {
            names += (names.empty() ? "" : ",") + name;
        }
        m.log_clear();
        return names.empty() ? "none" : names;
    } else {
        throw std::runtime_error("unknown mock command");
    }
    return std::string();
}

std::string CaseRunner::window(const std::vector<std::string>& tokens)
{
    if (tokens.size() == 2 && tokens[1] == "open") {
        window_ = std::make_unique<HostWindow>();
        return std::string();
    }
    if (tokens.size() == 2 && tokens[1] == "quit") {
        if (!window_) {
            throw std::runtime_error("no window is open");
        }
        return window_->quitReceived() ? "quit received" : "no quit";
    }
    throw std::runtime_error("window open | window quit");
}
