// Where the diagnostic log's lines go: a file opened for appending, or the
// standard error stream. Each write leaves in one system call, so lines of
// several threads (and processes sharing the file) never mix.
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

    // "stderr" names the standard error stream, anything else a file, in
    // UTF-8. Never blocks: a FIFO without a reader is refused, as are a
    // symbolic link and (on Linux) a file another user owns. A new file is
    // its owner's alone on Linux. On a failure returns false with the
    // system's error code in error.
    bool open(const std::string& destination, unsigned long& error) noexcept;
    // False when the data did not all leave: a full pipe whose reader does
    // not read is not waited for. The log must never change what a caller
    // sees, so nothing else is done about it.
    bool write(const char* data, std::size_t length) const noexcept;
    void close() noexcept;

    // The variable's value in UTF-8 (Windows reads it as UTF-16); false when
    // it is unset or empty.
    static bool readVariable(const char* name, std::string& value);
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
