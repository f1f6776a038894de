// The process environment, read as Windows' GetEnvironmentVariableA answers.
#include "platform/Win32.h"

#include <cstdlib>
#include <cstring>

extern "C" {

// Copies the value with its NUL when it fits and returns its length; else
// returns the size needed, NUL included, and leaves the buffer alone.
DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize)
{
    const char* value = lpName == nullptr ? nullptr : std::getenv(lpName);
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const std::size_t length = std::strlen(value);
    if (lpBuffer == nullptr || length >= nSize) {
        return static_cast<DWORD>(length + 1);
    }
    std::memcpy(lpBuffer, value, length + 1);
    return static_cast<DWORD>(length);
}

} // extern "C"
