// Opening the diagnostic log and writing its lines.
#include "jnibridge/DiagnosticLog.h"

#include "jnibridge/LogSink.h"

#include <cstdio>

namespace JNIBridge {

std::atomic<bool> DiagnosticLog::enabled_{false};

namespace {

// Never destroyed: a thread still logging while the process exits must not
// find the descriptor closed, or reused by another file.
LogSink& sink = *new LogSink;

// Lines the destination could not take since the last one it took.
std::atomic<unsigned long> lostLines{0};

// PIPE_BUF on Linux: a write to a pipe up to this size goes whole or not at
// all, so lines a full pipe drops are never cut.
constexpr std::size_t kLargestWrite = 4096;

// This thread's HeldLines, and the lines they keep.
thread_local unsigned holdDepth = 0;
thread_local std::string* heldLines = nullptr;

// Fixed size, so that no thread pays for a destructor; longer texts are cut.
thread_local char raised[1024];

constexpr long long kMillisecondsPerDay = 86400000;

// The proleptic Gregorian date of a day count since 1970-01-01, without the
// C library's time functions, which differ between Windows and Linux.
void civilFromDays(long long days, int& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// "2026-12-07T23:19:02.123Z tid=4711 "
std::string linePrefix()
{
    using namespace std::chrono;
    const long long now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const long long days = now >= 0 ? now / kMillisecondsPerDay : (now - kMillisecondsPerDay + 1) / kMillisecondsPerDay;
    const long long ofDay = now - days * kMillisecondsPerDay;
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ tid=%lu ", year, month, day,
                  static_cast<int>(ofDay / 3600000), static_cast<int>(ofDay / 60000 % 60),
                  static_cast<int>(ofDay / 1000 % 60), static_cast<int>(ofDay % 1000), LogSink::currentThreadId());
    return text;
}

// Whole lines from from, as many as fit in one atomic write; a longer line goes alone.
std::size_t endOfWrite(const std::string& lines, std::size_t from)
{
    std::size_t end = from;
    while (end < lines.size()) {
        const std::size_t lineEnd = lines.find('\n', end);
        const std::size_t next = lineEnd == std::string::npos ? lines.size() : lineEnd + 1;
        if (end != from && next - from > kLargestWrite) {
            break;
        }
        end = next;
    }
    return end;
}

std::size_t lineCount(const std::string& lines, std::size_t from, std::size_t to)
{
    std::size_t count = 0;
    for (std::size_t i = from; i < to; ++i) {
        count += lines[i] == '\n' ? 1 : 0;
    }
    return count;
}

// Said as soon as the destination takes lines again, so a reader sees where the gap is.
void noteLostLines()
{
    const unsigned long lost = lostLines.exchange(0);
    if (lost == 0) {
        return;
    }
    const std::string note =
        linePrefix() + std::to_string(lost) + " lines lost: the log's destination did not take them\n";
    if (!sink.write(note.data(), note.size())) {
        lostLines.fetch_add(lost);
    }
}

void emit(const std::string& lines)
{
    noteLostLines();
    for (std::size_t from = 0; from < lines.size();) {
        const std::size_t to = endOfWrite(lines, from);
        if (!sink.write(lines.data() + from, to - from)) {
            lostLines.fetch_add(lineCount(lines, from, to));
        }
        from = to;
    }
}

} // namespace

void DiagnosticLog::open(const char* destination) noexcept
{
    // A second load hook in one process keeps the first log.
    if (destination == nullptr || *destination == '\0' || enabled()) {
        return;
    }
    try {
        unsigned long error = 0;
        if (sink.open(destination, error)) {
            enabled_.store(true, std::memory_order_relaxed);
            return;
        }
        LogSink::writeToStandardError(std::string("ORVNative: cannot open the diagnostic log '") + destination +
                                      "' (error " + std::to_string(error) + "); nothing is logged\n");
    } catch (...) {
        // Out of memory while loading: the library runs on without a log.
    }
}

void DiagnosticLog::close() noexcept
{
    enabled_.store(false, std::memory_order_relaxed);
    sink.close();
}

void DiagnosticLog::write(const std::string& body) noexcept
{
    try {
        std::string line = linePrefix();
        // A message's own line breaks would split the line: they show escaped.
        line.reserve(line.size() + body.size() + 1);
        for (const char c : body) {
            if (c == '\n') {
                line.append("\\n");
            } else if (c == '\r') {
                line.append("\\r");
            } else {
                line.push_back(c);
            }
        }
        line.push_back('\n');
        if (holdDepth > 0 && heldLines != nullptr) {
            heldLines->append(line);
        } else {
            emit(line);
        }
    } catch (...) {
        // A line that cannot be built is lost; the call it describes goes on.
    }
}

DiagnosticLog::HeldLines::HeldLines() noexcept : holding_(enabled())
{
    if (holding_ && holdDepth++ == 0 && heldLines == nullptr) {
        // Kept for the thread's life: a module's every turn would otherwise allocate it again.
        static thread_local std::string lines;
        heldLines = &lines;
    }
}

DiagnosticLog::HeldLines::~HeldLines()
{
    if (!holding_ || --holdDepth != 0 || heldLines == nullptr || heldLines->empty()) {
        return;
    }
    try {
        emit(*heldLines);
    } catch (...) {
        // Lost with the lines: the call they describe is over.
    }
    heldLines->clear();
}

std::string DiagnosticLog::elapsedSince(Clock::time_point start)
{
    const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    char text[32];
    std::snprintf(text, sizeof text, " (%.3f ms)", milliseconds);
    return text;
}

void DiagnosticLog::noteRaised(const char* className, const char* message) noexcept
{
    if (!enabled()) {
        return;
    }
    std::snprintf(raised, sizeof raised, "%s: %s", className == nullptr ? "" : className,
                  message == nullptr ? "" : message);
    for (char* c = raised; *c != '\0' && *c != ':'; ++c) {
        *c = *c == '/' ? '.' : *c;
    }
}

void DiagnosticLog::clearRaised() noexcept
{
    raised[0] = '\0';
}

const char* DiagnosticLog::lastRaised() noexcept
{
    return raised;
}

} // namespace JNIBridge
