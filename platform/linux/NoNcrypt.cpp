// The CNG key storage calls for a machine without ncrypt.dll. LoadLibraryA
// never finds the DLL, so callers that bind at run time never get here; linked
// directly, no provider opens and no handle exists.
#include "platform/Win32.h"

extern "C" {

SECURITY_STATUS WINAPI NCryptOpenStorageProvider(NCRYPT_PROV_HANDLE* phProvider, LPCWSTR, DWORD)
{
    if (phProvider != nullptr) {
        *phProvider = 0;
    }
    return NTE_BAD_PROVIDER;
}

SECURITY_STATUS WINAPI NCryptOpenKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE*, LPCWSTR, DWORD, DWORD)
{
    return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptImportKey(NCRYPT_PROV_HANDLE, NCRYPT_KEY_HANDLE, LPCWSTR, NCryptBufferDesc*,
                                       NCRYPT_KEY_HANDLE*, PBYTE, DWORD, DWORD)
{
    return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptGetProperty(NCRYPT_HANDLE, LPCWSTR, PBYTE, DWORD, DWORD*, DWORD)
{
    return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptSignHash(NCRYPT_KEY_HANDLE, VOID*, PBYTE, DWORD, PBYTE, DWORD, DWORD*, DWORD)
{
    return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptEncrypt(NCRYPT_KEY_HANDLE, PBYTE, DWORD, VOID*, PBYTE, DWORD, DWORD*, DWORD)
{
    return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptDecrypt(NCRYPT_KEY_HANDLE, PBYTE, DWORD, VOID*, PBYTE, DWORD, DWORD*, DWORD)
{
    return NTE_INVALID_HANDLE;
}

SECURITY_STATUS WINAPI NCryptFreeObject(NCRYPT_HANDLE)
{
    return NTE_INVALID_HANDLE;
}

} // extern "C"
