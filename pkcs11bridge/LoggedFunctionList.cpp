// Logged copies of module function lists: a fixed pool, since a PKCS#11
// function carries no context that could lead a shared entry to its module.
#include "pkcs11bridge/LoggedFunctionList.h"

#include "jnibridge/DiagnosticLog.h"
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

// What a call's line shows of each argument, by position: a CK_ULONG by its
// label, a CK_ULONG_PTR (an answer) after the call, a mechanism or attribute
// by its type. Nothing else shows: PINs and data are pointers that never do.
struct Labels {
    const char* name;
    const char* of[6];
};

constexpr Labels kInitialize = {"C_Initialize", {}};
constexpr Labels kFinalize = {"C_Finalize", {}};
constexpr Labels kGetSlotList = {"C_GetSlotList", {nullptr, nullptr, "count"}};
constexpr Labels kGetSlotInfo = {"C_GetSlotInfo", {"slot"}};
constexpr Labels kGetTokenInfo = {"C_GetTokenInfo", {"slot"}};
constexpr Labels kWaitForSlotEvent = {"C_WaitForSlotEvent", {"flags", "slot"}};
constexpr Labels kInitToken = {"C_InitToken", {"slot"}};
constexpr Labels kInitPIN = {"C_InitPIN", {"session"}};
constexpr Labels kSetPIN = {"C_SetPIN", {"session"}};
constexpr Labels kOpenSession = {"C_OpenSession", {"slot", "flags", nullptr, nullptr, "session"}};
constexpr Labels kCloseSession = {"C_CloseSession", {"session"}};
constexpr Labels kCloseAllSessions = {"C_CloseAllSessions", {"slot"}};
constexpr Labels kLogin = {"C_Login", {"session", "user"}};
constexpr Labels kLogout = {"C_Logout", {"session"}};
constexpr Labels kDestroyObject = {"C_DestroyObject", {"session", "object"}};
constexpr Labels kGetAttributeValue = {"C_GetAttributeValue", {"session", "object", "attribute"}};
constexpr Labels kFindObjectsInit = {"C_FindObjectsInit", {"session", nullptr, "attributes"}};
constexpr Labels kFindObjects = {"C_FindObjects", {"session", nullptr, nullptr, "found"}};
constexpr Labels kFindObjectsFinal = {"C_FindObjectsFinal", {"session"}};
constexpr Labels kEncryptInit = {"C_EncryptInit", {"session", "mechanism", "key"}};
constexpr Labels kEncrypt = {"C_Encrypt", {"session", nullptr, "data length", nullptr, "output length"}};
constexpr Labels kDecryptInit = {"C_DecryptInit", {"session", "mechanism", "key"}};
constexpr Labels kDecrypt = {"C_Decrypt", {"session", nullptr, "data length", nullptr, "output length"}};
constexpr Labels kDigestInit = {"C_DigestInit", {"session", "mechanism"}};
constexpr Labels kDigestUpdate = {"C_DigestUpdate", {"session", nullptr, "data length"}};
constexpr Labels kDigestFinal = {"C_DigestFinal", {"session", nullptr, "output length"}};
constexpr Labels kSignInit = {"C_SignInit", {"session", "mechanism", "key"}};
constexpr Labels kSign = {"C_Sign", {"session", nullptr, "data length", nullptr, "output length"}};
constexpr Labels kVerifyInit = {"C_VerifyInit", {"session", "mechanism", "key"}};
constexpr Labels kVerify = {"C_Verify", {"session", nullptr, "data length", nullptr, "signature length"}};
constexpr Labels kSeedRandom = {"C_SeedRandom", {"session", nullptr, "seed length"}};
constexpr Labels kGenerateRandom = {"C_GenerateRandom", {"session", nullptr, "length"}};

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
    using L = CK_FUNCTION_LIST;
    install<N, &L::C_Initialize, kInitialize>(list);
    install<N, &L::C_Finalize, kFinalize>(list);
    install<N, &L::C_GetSlotList, kGetSlotList>(list);
    install<N, &L::C_GetSlotInfo, kGetSlotInfo>(list);
    install<N, &L::C_GetTokenInfo, kGetTokenInfo>(list);
    install<N, &L::C_WaitForSlotEvent, kWaitForSlotEvent>(list);
    install<N, &L::C_InitToken, kInitToken>(list);
    install<N, &L::C_InitPIN, kInitPIN>(list);
    install<N, &L::C_SetPIN, kSetPIN>(list);
    install<N, &L::C_OpenSession, kOpenSession>(list);
    install<N, &L::C_CloseSession, kCloseSession>(list);
    install<N, &L::C_CloseAllSessions, kCloseAllSessions>(list);
    install<N, &L::C_Login, kLogin>(list);
    install<N, &L::C_Logout, kLogout>(list);
    install<N, &L::C_DestroyObject, kDestroyObject>(list);
    install<N, &L::C_GetAttributeValue, kGetAttributeValue>(list);
    install<N, &L::C_FindObjectsInit, kFindObjectsInit>(list);
    install<N, &L::C_FindObjects, kFindObjects>(list);
    install<N, &L::C_FindObjectsFinal, kFindObjectsFinal>(list);
    install<N, &L::C_EncryptInit, kEncryptInit>(list);
    install<N, &L::C_Encrypt, kEncrypt>(list);
    install<N, &L::C_DecryptInit, kDecryptInit>(list);
    install<N, &L::C_Decrypt, kDecrypt>(list);
    install<N, &L::C_DigestInit, kDigestInit>(list);
    install<N, &L::C_DigestUpdate, kDigestUpdate>(list);
    install<N, &L::C_DigestFinal, kDigestFinal>(list);
    install<N, &L::C_SignInit, kSignInit>(list);
    install<N, &L::C_Sign, kSign>(list);
    install<N, &L::C_VerifyInit, kVerifyInit>(list);
    install<N, &L::C_Verify, kVerify>(list);
    install<N, &L::C_SeedRandom, kSeedRandom>(list);
    install<N, &L::C_GenerateRandom, kGenerateRandom>(list);
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
