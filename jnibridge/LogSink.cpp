// The diagnostic log's file or stream, on Windows and on Linux.
#include "jnibridge/LogSink.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace JNIBridge {

namespace {

const char* const kStandardError = "stderr";

} // namespace

#ifdef _WIN32

// Shared for reading and writing, so support can read the file while the
// application runs and a second process can append beside it.
bool LogSink::open(const std::string& destination, unsigned long& error) noexcept
{
    close();
    if (destination == kStandardError) {
        handle_ = GetStdHandle(STD_ERROR_HANDLE);
        owned_ = false;
    } else {
        handle_ = CreateFileA(destination.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        owned_ = true;
    }
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        handle_ = nullptr;
        return false;
    }
    return true;
}

void LogSink::write(const char* data, std::size_t length) const noexcept
{
    DWORD written = 0;
    WriteFile(static_cast<HANDLE>(handle_), data, static_cast<DWORD>(length), &written, nullptr);
}

void LogSink::close() noexcept
{
    if (owned_ && handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
    }
    handle_ = nullptr;
    owned_ = false;
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

bool LogSink::open(const std::string& destination, unsigned long& error) noexcept
{
    close();
    if (destination == kStandardError) {
        descriptor_ = STDERR_FILENO;
        owned_ = false;
        return true;
    }
    descriptor_ = ::open(destination.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    owned_ = descriptor_ >= 0;
    if (descriptor_ < 0) {
        error = static_cast<unsigned long>(errno);
        return false;
    }
    return true;
}

void LogSink::write(const char* data, std::size_t length) const noexcept
{
    if (descriptor_ >= 0) {
        const ssize_t written = ::write(descriptor_, data, length);
        static_cast<void>(written);
    }
}

void LogSink::close() noexcept
{
    if (owned_ && descriptor_ >= 0) {
        ::close(descriptor_);
    }
    descriptor_ = -1;
    owned_ = false;
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
