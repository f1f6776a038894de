// Empty function-list entries answered as functions the module does not support.
#include "pkcs11bridge/FunctionListGaps.h"

#include "jnibridge/DiagnosticLog.h"
#include "pkcs11bridge/BridgeFunctions.h"

#include <string>
#include <type_traits>

using JNIBridge::DiagnosticLog;

namespace PKCS11Bridge {

namespace {

template <class Function>
struct NotSupported;

template <class... A>
struct NotSupported<CK_RV (*)(A...)> {
    static CK_RV answer(A...) { return CKR_FUNCTION_NOT_SUPPORTED; }
};

template <auto member>
bool answerIfEmpty(CK_FUNCTION_LIST& list, const char* name) noexcept
{
    using Function = std::remove_reference_t<decltype(list.*member)>;
    if (list.*member != nullptr) {
        return false;
    }
    list.*member = &NotSupported<Function>::answer;
    if (DiagnosticLog::enabled()) {
        try {
            DiagnosticLog::write(std::string("pkcs11 ") + name +
                                 " is empty in the module's function list: it answers CKR_FUNCTION_NOT_SUPPORTED");
        } catch (...) {
            // The answer stands; only the line is lost.
        }
    }
    return true;
}

} // namespace

CK_FUNCTION_LIST_PTR FunctionListGaps::fill(CK_FUNCTION_LIST_PTR list, CK_FUNCTION_LIST& answered) noexcept
{
    answered = *list;
    bool gaps = false;
#define ORV_ANSWER_IF_EMPTY(name, labels) gaps = answerIfEmpty<&CK_FUNCTION_LIST::name>(answered, #name) || gaps;
    ORV_BRIDGE_FUNCTIONS(ORV_ANSWER_IF_EMPTY)
#undef ORV_ANSWER_IF_EMPTY
    return gaps ? &answered : list;
}

} // namespace PKCS11Bridge
