// init-token-label MODULE SO_PIN HEX: initialises the module's first token that
// is not initialised yet, with the 32-byte label given in hex. Zero bytes
// included: no command-line tool passes those on. A process of its own, as
// SoftHSM2 takes one C_Initialize per process.
#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4 || std::strlen(argv[3]) != 64) {
        std::fprintf(stderr, "usage: init-token-label MODULE SO_PIN HEX(32 bytes)\n");
        return 2;
    }
    CK_UTF8CHAR label[32];
    for (int i = 0; i < 32; ++i) {
        label[i] = static_cast<CK_UTF8CHAR>(std::strtoul(std::string(argv[3] + 2 * i, 2).c_str(), nullptr, 16));
    }
    void* module = dlopen(argv[1], RTLD_NOW);
    auto getFunctionList =
        module ? reinterpret_cast<CK_C_GetFunctionList>(dlsym(module, "C_GetFunctionList")) : nullptr;
    CK_FUNCTION_LIST_PTR f = nullptr;
    if (getFunctionList == nullptr || getFunctionList(&f) != CKR_OK || f->C_Initialize(nullptr) != CKR_OK) {
        std::fprintf(stderr, "init-token-label: cannot use %s\n", argv[1]);
        return 1;
    }
    CK_SLOT_ID slots[64];
    CK_ULONG count = 64;
    CK_RV rv = f->C_GetSlotList(CK_TRUE, slots, &count);
    for (CK_ULONG i = 0; rv == CKR_OK && i < count; ++i) {
        CK_TOKEN_INFO info;
        if (f->C_GetTokenInfo(slots[i], &info) == CKR_OK && (info.flags & CKF_TOKEN_INITIALIZED) == 0) {
            rv = f->C_InitToken(slots[i], reinterpret_cast<CK_UTF8CHAR_PTR>(argv[2]), std::strlen(argv[2]), label);
            f->C_Finalize(nullptr);
            if (rv != CKR_OK) {
                std::fprintf(stderr, "init-token-label: C_InitToken returned 0x%lX\n", static_cast<unsigned long>(rv));
            }
            return rv == CKR_OK ? 0 : 1;
        }
    }
    f->C_Finalize(nullptr);
    std::fprintf(stderr, "init-token-label: no token left to initialise (0x%lX)\n", static_cast<unsigned long>(rv));
    return 1;
}
