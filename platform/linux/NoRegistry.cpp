// A registry holding nothing: the predefined roots open, are empty and close;
// every key below them is not found. Other handles cannot exist.
#include "platform/Win32.h"

#include <cstdint>

namespace {

bool isPredefined(HKEY key)
{
    auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= reinterpret_cast<std::uintptr_t>(HKEY_CLASSES_ROOT) &&
           value <= reinterpret_cast<std::uintptr_t>(HKEY_DYN_DATA);
}

} // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult)
{
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    if (!isPredefined(hKey)) {
        return ERROR_INVALID_HANDLE;
    }
    // An empty path opens the key itself, as on Windows.
    if (lpSubKey != nullptr && lpSubKey[0] != '\0') {
        return ERROR_FILE_NOT_FOUND;
    }
    *phkResult = hKey;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, PFILETIME)
{
    return isPredefined(hKey) ? ERROR_NO_MORE_ITEMS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    return isPredefined(hKey) ? ERROR_NO_MORE_ITEMS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
{
    return isPredefined(hKey) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    return isPredefined(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // extern "C"
