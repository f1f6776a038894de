// Logged copies of module function lists: a fixed pool, since a PKCS#11
// function carries no context that could lead a shared entry to its module.
#include "pkcs11bridge/LoggedFunctionList.h"

#include "jnibridge/DiagnosticLog.h"
#include "pkcs11bridge/BridgeFunctions.h"
#include "pkcs11bridge/PKCS11Exception.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

using JNIBridge::DiagnosticLog;

namespace PKCS11Bridge {

namespace {

constexpr std::size_t kListCount = 8;

// What a call's line shows of each argument, by position (BridgeFunctions.h).
struct Labels {
    const char* name;
    const char* of[6];
};

#define ORV_LABELS_OF(name, labels) constexpr Labels k##name = {#name, {ORV_BRIDGE_LABELS labels}};
ORV_BRIDGE_FUNCTIONS(ORV_LABELS_OF)
#undef ORV_LABELS_OF

std::string hex(CK_ULONG value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

class CallLine {
public:
    CallLine(const char* name, CK_RV rv) : rv_(rv) { line_.append("pkcs11 ").append(name).append("("); }

    void add(const char* label, CK_ULONG value)
    {
        if (label != nullptr) {
            show(label, std::strcmp(label, "flags") == 0 ? hex(value) : std::to_string(value));
        }
    }
    void add(const char* label, CK_ULONG_PTR answer)
    {
        if (label != nullptr && answer != nullptr && rv_ == CKR_OK) {
            show(label, std::to_string(*answer));
        }
    }
    void add(const char*, CK_MECHANISM_PTR mechanism)
    {
        if (mechanism != nullptr) {
            show("mechanism", hex(mechanism->mechanism));
        }
    }
    void add(const char* label, CK_ATTRIBUTE_PTR attributes)
    {
        if (label != nullptr && attributes != nullptr) {
            show(label, hex(attributes->type));
        }
    }
    template <class Other>
    void add(const char*, Other)
    {
    }

    void write(DiagnosticLog::Clock::time_point start)
    {
        // A vendor's own code keeps its number beside the table's fallback text.
        const JNIBridge::String name = getReturnValueName(rv_);
        line_.append(") = ").append(name.c_str());
        if (std::strncmp(name.c_str(), "CKR_", 4) != 0) {
            line_.append(" ").append(hex(rv_));
        }
        line_.append(DiagnosticLog::elapsedSince(start));
        DiagnosticLog::write(line_);
    }

private:
    void show(const char* label, const std::string& value)
    {
        line_.append(first_ ? "" : ", ").append(label).append(" ").append(value);
        first_ = false;
    }

    CK_RV rv_;
    std::string line_;
    bool first_ = true;
};

template <std::size_t N>
struct Pool {
    static inline CK_FUNCTION_LIST_PTR module = nullptr;
    static inline CK_FUNCTION_LIST list{};
};

template <std::size_t N, auto member, const Labels& labels, class... A>
CK_RV loggedCall(A... args)
{
    const DiagnosticLog::Clock::time_point start = DiagnosticLog::Clock::now();
    const CK_RV rv = (Pool<N>::module->*member)(args...);
    try {
        CallLine line(labels.name, rv);
        std::size_t position = 0;
        (line.add(labels.of[position++], args), ...);
        line.write(start);
    } catch (...) {
        // The module's answer stands; only the line is lost.
    }
    return rv;
}

template <std::size_t N, auto member, const Labels& labels, class... A>
auto loggedOf(CK_RV (*)(A...))
{
    static_assert(sizeof...(A) <= std::size(labels.of), "a label for each argument");
    return &loggedCall<N, member, labels, A...>;
}

// A function the module does not offer stays absent.
template <std::size_t N, auto member, const Labels& labels>
void install(CK_FUNCTION_LIST& list)
{
    if (list.*member != nullptr) {
        list.*member = loggedOf<N, member, labels>(list.*member);
    }
}

template <std::size_t N>
CK_FUNCTION_LIST_PTR build(CK_FUNCTION_LIST_PTR module)
{
    Pool<N>::module = module;
    CK_FUNCTION_LIST& list = Pool<N>::list;
    list = *module;
#define ORV_INSTALL(name, labels) install<N, &CK_FUNCTION_LIST::name, k##name>(list);
    ORV_BRIDGE_FUNCTIONS(ORV_INSTALL)
#undef ORV_INSTALL
    return &list;
}

using Builder = CK_FUNCTION_LIST_PTR (*)(CK_FUNCTION_LIST_PTR);

template <std::size_t... N>
constexpr std::array<Builder, sizeof...(N)> builders(std::index_sequence<N...>)
{
    return {&build<N>...};
}

constexpr std::array<Builder, kListCount> kBuilders = builders(std::make_index_sequence<kListCount>());

} // namespace

CK_FUNCTION_LIST_PTR LoggedFunctionList::wrap(CK_FUNCTION_LIST_PTR module) noexcept
{
    if (!DiagnosticLog::enabled() || module == nullptr) {
        return module;
    }
    static std::mutex poolMutex;
    static CK_FUNCTION_LIST_PTR modules[kListCount] = {};
    static CK_FUNCTION_LIST_PTR lists[kListCount] = {};
    const std::lock_guard<std::mutex> lock(poolMutex);
    for (std::size_t i = 0; i < kListCount; ++i) {
        if (modules[i] == module) {
            return lists[i];
        }
        if (modules[i] == nullptr) {
            modules[i] = module;
            lists[i] = kBuilders[i](module);
            return lists[i];
        }
    }
    DiagnosticLog::write("pkcs11 more than 8 libraries loaded: the PKCS#11 calls of this one are not logged");
    return module;
}

} // namespace PKCS11Bridge
