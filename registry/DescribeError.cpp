// Our message for a failed registry call, with its code and the system's text for it.
#include "registry/DescribeError.h"

#include "common/ScopedHandle.h"

#include "common/Win32CallLog.h"
#include "platform/Win32.h"

namespace RegistryBridge {

namespace {

// FormatMessageA's allocated text belongs to LocalFree.
struct LocalMemoryTraits {
    using Handle = LPSTR;
    static Handle empty() noexcept { return nullptr; }
    static void close(Handle text) noexcept { LocalFree(text); }
};

// Some system texts hold inserts ("%1"); with no arguments to fill them,
// FormatMessageA must be told to leave them be, or it fails (Wine) or reads
// arguments that were never passed (Windows).
std::string systemText(std::int32_t code)
{
    Common::ScopedHandle<LocalMemoryTraits> text;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = Common::Win32CallLog::call(
        "FormatMessageA", FormatMessageA(flags, nullptr, static_cast<DWORD>(code), 0,
                                         reinterpret_cast<LPSTR>(text.receive()), 0, nullptr));
    if (length == 0 || !text.valid()) {
        return std::string();
    }
    return std::string(text.get(), length);
}

} // namespace

std::string describeError(const char* message, std::int32_t code)
{
    std::string result = message != nullptr ? message : "";
    result += "\nThe error code is: ";
    result += std::to_string(code);
    result += "\nThe error message is: ";
    result += systemText(code);
    result += "\n";
    return result;
}

} // namespace RegistryBridge
