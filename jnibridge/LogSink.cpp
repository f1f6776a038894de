// The diagnostic log's file or stream, on Windows and on Linux.
#include "jnibridge/LogSink.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <vector>

namespace JNIBridge {

namespace {

const char* const kStandardError = "stderr";

} // namespace

#ifdef _WIN32

namespace {

// An ANSI call would read the UTF-8 name in the system's code page, and a
// user folder such as C:\Users\Jürgen would never open.
bool widen(const std::string& text, std::wstring& wide)
{
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0],
                               length) == length;
}

std::string narrow(const std::wstring& wide)
{
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length, nullptr, nullptr);
    return text;
}

// The link itself is opened, never its target; one found is refused.
HANDLE openFile(const std::wstring& name, DWORD& error)
{
    const HANDLE file =
        CreateFileW(name.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) {
        error = GetLastError();
        CloseHandle(file);
        return nullptr;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = ERROR_CANT_RESOLVE_FILENAME;
        CloseHandle(file);
        return nullptr;
    }
    return file;
}

} // namespace

// Shared for reading and writing, so support can read the file while the
// application runs and a second process can append beside it. A new file
// takes the default ACL of its folder: in the user's profile or %TEMP%, the
// user's own.
bool LogSink::open(const std::string& destination, unsigned long& error) noexcept
{
    close();
    if (destination == kStandardError) {
        handle_ = GetStdHandle(STD_ERROR_HANDLE);
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            handle_ = nullptr;
            return false;
        }
        return true;
    }
    try {
        std::wstring name;
        if (!widen(destination, name)) {
            error = ERROR_NO_UNICODE_TRANSLATION;
            return false;
        }
        DWORD failure = 0;
        handle_ = openFile(name, failure);
        error = failure;
    } catch (...) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    owned_ = handle_ != nullptr;
    return owned_;
}

bool LogSink::write(const char* data, std::size_t length) const noexcept
{
    DWORD written = 0;
    return handle_ != nullptr &&
           WriteFile(static_cast<HANDLE>(handle_), data, static_cast<DWORD>(length), &written, nullptr) &&
           written == length;
}

void LogSink::close() noexcept
{
    if (owned_ && handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
    }
    handle_ = nullptr;
    owned_ = false;
}

bool LogSink::readVariable(const char* name, std::string& value)
{
    const std::wstring wideName(name, name + std::char_traits<char>::length(name));
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.resize(length);
        length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    if (length == 0 || length >= buffer.size()) {
        return false;
    }
    value = narrow(std::wstring(buffer.data(), length));
    return !value.empty();
}

void LogSink::writeToStandardError(const std::string& text) noexcept
{
    const HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    if (standardError != nullptr && standardError != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(standardError, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

unsigned long LogSink::currentThreadId() noexcept
{
    return GetCurrentThreadId();
}

#else

namespace {

// A line a full pipe took in part is worth finishing: the rest may follow if
// the reader makes room soon. One not begun is dropped at once.
constexpr int kPartialLineWaits = 10;
constexpr int kPartialLineWaitMilliseconds = 10;

// Non-blocking, so that opening a FIFO without a reader fails with ENXIO
// instead of holding the VM's library lock for ever, and a reader that
// stops reading costs lines, not threads. A final symbolic link is not
// followed (ELOOP): a link planted at the name in a shared directory would
// have the lines appended to its target.
int openFile(const std::string& destination, unsigned long& error)
{
    const int descriptor =
        ::open(destination.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK,
               S_IRUSR | S_IWUSR);
    if (descriptor < 0) {
        error = static_cast<unsigned long>(errno);
        return -1;
    }
    struct stat status;
    if (::fstat(descriptor, &status) != 0) {
        error = static_cast<unsigned long>(errno);
        ::close(descriptor);
        return -1;
    }
    if (status.st_uid != ::geteuid()) {
        error = EPERM;
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

} // namespace

bool LogSink::open(const std::string& destination, unsigned long& error) noexcept
{
    close();
    if (destination == kStandardError) {
        descriptor_ = STDERR_FILENO;
        owned_ = false;
        return true;
    }
    descriptor_ = openFile(destination, error);
    owned_ = descriptor_ >= 0;
    return owned_;
}

bool LogSink::write(const char* data, std::size_t length) const noexcept
{
    if (descriptor_ < 0) {
        return false;
    }
    std::size_t done = 0;
    int waits = 0;
    while (done < length) {
        const ssize_t written = ::write(descriptor_, data + done, length - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && errno == EAGAIN && done > 0 && waits++ < kPartialLineWaits) {
            struct pollfd room = {descriptor_, POLLOUT, 0};
            ::poll(&room, 1, kPartialLineWaitMilliseconds);
        } else {
            return false;
        }
    }
    return true;
}

void LogSink::close() noexcept
{
    if (owned_ && descriptor_ >= 0) {
        ::close(descriptor_);
    }
    descriptor_ = -1;
    owned_ = false;
}

bool LogSink::readVariable(const char* name, std::string& value)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return false;
    }
    value = text;
    return true;
}

void LogSink::writeToStandardError(const std::string& text) noexcept
{
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    static_cast<void>(written);
}

// Asked once per thread: a system call on every line would be most of its cost.
unsigned long LogSink::currentThreadId() noexcept
{
    thread_local unsigned long id = 0;
    if (id == 0) {
        id = static_cast<unsigned long>(::syscall(SYS_gettid));
    }
    return id;
}

#endif

} // namespace JNIBridge
