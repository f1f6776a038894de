// The library's Java-facing surface as the tests expect it: every native in
// registration order, read from the class tables the library registers from.
#ifndef ORV_TESTS_LIBRARY_EXPECTEDNATIVES_H
#define ORV_TESTS_LIBRARY_EXPECTEDNATIVES_H

#include "accessibility/IncomingNativeUtilsTable.h"
#include "capi/CapiTokenTable.h"
#include "pkcs11bridge/PKCS11ModuleTable.h"
#include "pkcs11bridge/PKCS11SlotTable.h"
#include "registry/WindowsRegistryTable.h"

#include <cstddef>

struct ExpectedNative {
    const char* className;
    const char* name;
    const char* signature;
    const char* entry; // the entry function's C++ name
    const char* x86;   // decorated export names, empty where not exported
    const char* x64;
};

namespace ExpectedNatives {

constexpr const char* windowsRegistry = ORV_WINDOWS_REGISTRY_CLASS;
constexpr const char* capiToken = ORV_CAPI_TOKEN_CLASS;
constexpr const char* pkcs11Module = ORV_PKCS11_MODULE_CLASS;
constexpr const char* pkcs11Slot = ORV_PKCS11_SLOT_CLASS;
constexpr const char* incomingNativeUtils = ORV_INCOMING_NATIVE_UTILS_CLASS;

// The five classes in the order the load hook visits them.
constexpr const char* classes[] = {windowsRegistry, capiToken, pkcs11Module, pkcs11Slot, incomingNativeUtils};

// The entry function only by name: its C++ type is the library's own.
#define ORV_EXPECTED(cls, javaName, signature, function, text, x86, x64)                                               \
    {cls, #javaName, signature, #function, "" x86, "" x64},
#define ORV_IN_WINDOWS_REGISTRY(...) ORV_EXPECTED(windowsRegistry, __VA_ARGS__)
#define ORV_IN_CAPI_TOKEN(...) ORV_EXPECTED(capiToken, __VA_ARGS__)
#define ORV_IN_PKCS11_MODULE(...) ORV_EXPECTED(pkcs11Module, __VA_ARGS__)
#define ORV_IN_PKCS11_SLOT(...) ORV_EXPECTED(pkcs11Slot, __VA_ARGS__)
#define ORV_IN_INCOMING_NATIVE_UTILS(...) ORV_EXPECTED(incomingNativeUtils, __VA_ARGS__)

// clang-format off
constexpr ExpectedNative rows[] = {
    ORV_WINDOWS_REGISTRY_NATIVES(ORV_IN_WINDOWS_REGISTRY)
    ORV_CAPI_TOKEN_NATIVES(ORV_IN_CAPI_TOKEN)
    ORV_PKCS11_MODULE_NATIVES(ORV_IN_PKCS11_MODULE)
    ORV_PKCS11_SLOT_NATIVES(ORV_IN_PKCS11_SLOT)
    ORV_INCOMING_NATIVE_UTILS_NATIVES(ORV_IN_INCOMING_NATIVE_UTILS)
};
// clang-format on

#undef ORV_IN_INCOMING_NATIVE_UTILS
#undef ORV_IN_PKCS11_SLOT
#undef ORV_IN_PKCS11_MODULE
#undef ORV_IN_CAPI_TOKEN
#undef ORV_IN_WINDOWS_REGISTRY
#undef ORV_EXPECTED

constexpr std::size_t rowCount = sizeof rows / sizeof rows[0];

} // namespace ExpectedNatives

#endif
