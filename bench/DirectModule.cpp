#include "bench/DirectModule.h"

#include "bench/DirectToken.h"

#include <dlfcn.h>

#include <stdexcept>
#include <vector>

namespace Bench {

DirectModule::DirectModule(const std::string& path)
{
    // Never closed: a module stays loaded for the life of the process.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        throw std::runtime_error("cannot load " + path);
    }
    auto getFunctionList =
        reinterpret_cast<CK_C_GetFunctionList>(reinterpret_cast<void*>(dlsym(library, "C_GetFunctionList")));
    if (getFunctionList == nullptr) {
        throw std::runtime_error(path + " has no C_GetFunctionList");
    }
    checkReturn("C_GetFunctionList", getFunctionList(&functionList));
    checkReturn("C_Initialize", functionList->C_Initialize(NULL_PTR));
}

CK_SLOT_ID DirectModule::slotOfToken(const std::string& label) const
{
    CK_ULONG count = 0;
    checkReturn("C_GetSlotList", functionList->C_GetSlotList(CK_TRUE, NULL_PTR, &count));
    std::vector<CK_SLOT_ID> slots(count);
    checkReturn("C_GetSlotList", functionList->C_GetSlotList(CK_TRUE, slots.data(), &count));
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_TOKEN_INFO info;
        if (functionList->C_GetTokenInfo(slots[i], &info) != CKR_OK) {
            continue;
        }
        std::string text(reinterpret_cast<const char*>(info.label), sizeof info.label);
        text.erase(text.find_last_not_of(' ') + 1);
        if (text == label) {
            return slots[i];
        }
    }
    throw std::runtime_error("no token labelled " + label);
}

} // namespace Bench
