// FormatMessageA for system codes: Windows' English texts for the codes the
// bridges meet, "\r\n" terminated as Windows returns them.
#include "platform/linux/Failure.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

namespace orv::platform {
namespace {

const std::unordered_map<DWORD, const char*>& systemTexts()
{
    static const std::unordered_map<DWORD, const char*> kTexts = {
        {0, "The operation completed successfully."},
        {1, "Incorrect function."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {8, "Not enough memory resources are available to process this command."},
        {14, "Not enough memory resources are available to complete this operation."},
        {50, "The request is not supported."},
        {87, "The parameter is incorrect."},
        {122, "The data area passed to a system call is too small."},
        {126, "The specified module could not be found."},
        {127, "The specified procedure could not be found."},
        {161, "The specified path is invalid."},
        {183, "Cannot create a file when that file already exists."},
        {234, "More data is available."},
        {258, "The wait operation timed out."},
        {259, "No more data is available."},
        {288, "Attempt to release mutex not owned by caller."},
        {1009, "The configuration registry database is corrupt."},
        {1010, "The configuration registry key is invalid."},
        {1011, "The configuration registry key could not be opened."},
        {1012, "The configuration registry key could not be read."},
        {1223, "The operation was canceled by the user."},
        {1400, "Invalid window handle."},
        {0x80004001u, "Not implemented"},
        {0x80004005u, "Unspecified error"},
        {0x8007000Eu, "Not enough memory resources are available to complete this operation."},
        {0x80070057u, "The parameter is incorrect."},
        {0x80090001u, "Bad UID."},
        {0x80090002u, "Bad Hash."},
        {0x80090003u, "Bad Key."},
        {0x80090004u, "Bad Length."},
        {0x80090005u, "Bad Data."},
        {0x80090006u, "Invalid Signature."},
        {0x80090007u, "Bad Version of provider."},
        {0x80090008u, "Invalid algorithm specified."},
        {0x80090009u, "Invalid flags specified."},
        {0x8009000Au, "Invalid type specified."},
        {0x8009000Bu, "Key not valid for use in specified state."},
        {0x8009000Cu, "Hash not valid for use in specified state."},
        {0x8009000Du, "Key does not exist."},
        {0x8009000Eu, "Insufficient memory available for the operation."},
        {0x8009000Fu, "Object already exists."},
        {0x80090010u, "Access denied."},
        {0x80090011u, "Object was not found."},
        {0x80090013u, "Invalid provider specified."},
        {0x80090014u, "Invalid provider type specified."},
        {0x80090016u, "Keyset does not exist"},
        {0x80090017u, "Provider type not defined."},
        {0x80090019u, "The keyset is not defined."},
        {0x8009001Bu, "Provider type does not match registered value."},
        {0x80090020u, "An internal error occurred."},
        {0x80090026u, "The supplied handle is invalid."},
        {0x80092004u, "Cannot find object or property."},
        {0x80092005u, "The object or property already exists."},
        {0x80093102u, "ASN1 unexpected end of data."},
        {0x8009310Bu, "ASN1 bad tag value met."},
    };
    return kTexts;
}

constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

} // namespace
} // namespace orv::platform

using namespace orv::platform;

extern "C" {

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD nSize, va_list*)
{
    if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) != 0 || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto found = systemTexts().find(dwMessageId);
    if (found == systemTexts().end()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::string text = std::string(found->second) + "\r\n";
    auto length = static_cast<DWORD>(text.size());
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // lpBuffer is really an LPSTR* here; LocalFree releases the text.
        auto* copy = static_cast<char*>(std::malloc(std::max<DWORD>(length + 1, nSize)));
        if (copy == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(copy, text.c_str(), length + 1);
        *reinterpret_cast<LPSTR*>(lpBuffer) = copy;
        return length;
    }
    if (nSize < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, text.c_str(), length + 1);
    return length;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem)
{
    std::free(hMem);
    return nullptr;
}

} // extern "C"
