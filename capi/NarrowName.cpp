// Container and provider names converted to the narrow text CryptoAPI takes.
#include "capi/NarrowName.h"

#include "capi/ResultCodes.h"

#include <cstdlib>
#include <cstring>

namespace CAPIBridge {

int NarrowName::convert(const wchar_t* wide, int tooLongCode, int conversionCode)
{
    isNull_ = wide == nullptr;
    if (isNull_) {
        return ResultCode::kSuccess;
    }
    const std::size_t length = std::wcstombs(nullptr, wide, 0);
    if (length == static_cast<std::size_t>(-1) || length > kMaxBytes) {
        return tooLongCode;
    }
    const std::size_t written = std::wcstombs(bytes_.data(), wide, bytes_.size());
    if (written == static_cast<std::size_t>(-1)) {
        return conversionCode;
    }
    bytes_[written] = '\0';
    return ResultCode::kSuccess;
}

void NarrowName::replaceIf(const char* from, const char* to)
{
    if (!isNull_ && std::strcmp(bytes_.data(), from) == 0) {
        std::strncpy(bytes_.data(), to, kMaxBytes);
    }
}

} // namespace CAPIBridge
