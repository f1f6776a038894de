// Where the diagnostic log's lines go: a file opened for appending, or the
// standard error stream. Each line leaves in one write, so lines of several
// threads (and processes sharing the file) never mix.
#ifndef ORV_JNIBRIDGE_LOGSINK_H
#define ORV_JNIBRIDGE_LOGSINK_H

#include <cstddef>
#include <string>

namespace JNIBridge {

class LogSink {
public:
    LogSink() = default;
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;
    ~LogSink() { close(); }

    // "stderr" names the standard error stream, anything else a file. On a
    // failure returns false with the system's error code in error.
    bool open(const std::string& destination, unsigned long& error) noexcept;
    // Failures are dropped: the log must never change what a caller sees.
    void write(const char* data, std::size_t length) const noexcept;
    void close() noexcept;

    // Written whole to the standard error stream, with no sink open.
    static void writeToStandardError(const std::string& text) noexcept;
    static unsigned long currentThreadId() noexcept;

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int descriptor_ = -1;
#endif
    bool owned_ = false;
};

} // namespace JNIBridge

#endif
