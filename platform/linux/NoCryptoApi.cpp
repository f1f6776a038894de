// CryptoAPI on a machine with no provider installed: acquiring a context fails
// as Windows fails for a provider it does not know, and no handle can exist, so
// every call on one is refused with the code for a bad handle of its kind.
#include "platform/linux/Failure.h"

using namespace orv::platform;

extern "C" {

BOOL WINAPI CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR, LPCSTR szProvider, DWORD, DWORD)
{
    if (phProv == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *phProv = 0;
    // A named provider is looked up by name, an unnamed one by its type's default.
    return fail(szProvider != nullptr ? NTE_KEYSET_NOT_DEF : NTE_PROV_TYPE_NOT_DEF);
}

BOOL WINAPI CryptReleaseContext(HCRYPTPROV, DWORD)
{
    return fail(NTE_BAD_UID);
}

BOOL WINAPI CryptGetProvParam(HCRYPTPROV, DWORD, BYTE*, DWORD*, DWORD)
{
    return fail(NTE_BAD_UID);
}

BOOL WINAPI CryptGenKey(HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY*)
{
    return fail(NTE_BAD_UID);
}

BOOL WINAPI CryptImportKey(HCRYPTPROV, CONST BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*)
{
    return fail(NTE_BAD_UID);
}

BOOL WINAPI CryptGetUserKey(HCRYPTPROV, DWORD, HCRYPTKEY*)
{
    return fail(NTE_BAD_UID);
}

BOOL WINAPI CryptCreateHash(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*)
{
    return fail(NTE_BAD_UID);
}

BOOL WINAPI CryptGenRandom(HCRYPTPROV, DWORD, BYTE*)
{
    return fail(NTE_BAD_UID);
}

BOOL WINAPI CryptExportKey(HCRYPTKEY, HCRYPTKEY, DWORD, DWORD, BYTE*, DWORD*)
{
    return fail(NTE_BAD_KEY);
}

BOOL WINAPI CryptDestroyKey(HCRYPTKEY)
{
    return fail(NTE_BAD_KEY);
}

BOOL WINAPI CryptEncrypt(HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*, DWORD)
{
    return fail(NTE_BAD_KEY);
}

BOOL WINAPI CryptDecrypt(HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*)
{
    return fail(NTE_BAD_KEY);
}

BOOL WINAPI CryptHashData(HCRYPTHASH, CONST BYTE*, DWORD, DWORD)
{
    return fail(NTE_BAD_HASH);
}

BOOL WINAPI CryptGetHashParam(HCRYPTHASH, DWORD, BYTE*, DWORD*, DWORD)
{
    return fail(NTE_BAD_HASH);
}

BOOL WINAPI CryptSetHashParam(HCRYPTHASH, DWORD, CONST BYTE*, DWORD)
{
    return fail(NTE_BAD_HASH);
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH)
{
    return fail(NTE_BAD_HASH);
}

BOOL WINAPI CryptSignHashA(HCRYPTHASH, DWORD, LPCSTR, DWORD, BYTE*, DWORD*)
{
    return fail(NTE_BAD_HASH);
}

BOOL WINAPI CryptVerifySignatureA(HCRYPTHASH, CONST BYTE*, DWORD, HCRYPTKEY, LPCSTR, DWORD)
{
    return fail(NTE_BAD_HASH);
}

} // extern "C"
