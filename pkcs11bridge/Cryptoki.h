// The PKCS#11 (Cryptoki) declarations the bridge calls modules through.
// Header only: modules are loaded at run time, nothing is linked.
#ifndef ORV_PKCS11BRIDGE_CRYPTOKI_H
#define ORV_PKCS11BRIDGE_CRYPTOKI_H

#include <p11-kit/pkcs11.h>

#include <cstddef>

// Windows modules lay their structures out packed to 1 byte; the header packs
// them itself on _WIN32. A wrong layout would call the wrong function pointer,
// so the build refuses it instead. Windows is LLP64: CK_ULONG is 32-bit on
// x64 too, beside 64-bit pointers.
#ifdef _WIN32
static_assert(sizeof(CK_ULONG) == 4, "CK_ULONG must be 32-bit on Windows");
static_assert(offsetof(CK_FUNCTION_LIST, C_Initialize) == sizeof(CK_VERSION),
              "CK_FUNCTION_LIST must be packed to 1 byte on Windows");
static_assert(offsetof(CK_ATTRIBUTE, pValue) == sizeof(CK_ATTRIBUTE_TYPE) &&
                  sizeof(CK_ATTRIBUTE) == sizeof(CK_ATTRIBUTE_TYPE) + sizeof(CK_VOID_PTR) + sizeof(CK_ULONG),
              "CK_ATTRIBUTE must be packed to 1 byte on Windows");
static_assert(offsetof(CK_MECHANISM, pParameter) == sizeof(CK_MECHANISM_TYPE),
              "CK_MECHANISM must be packed to 1 byte on Windows");
static_assert(offsetof(CK_INFO, flags) == sizeof(CK_VERSION) + 32, "CK_INFO must be packed to 1 byte on Windows");
#endif

#endif
