#include "MonitorLog.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace velmor {

namespace {
std::atomic<int> g_nThreshold{static_cast<int>(LogLevel::Info)};
}

void SetLogThreshold(LogLevel threshold) { g_nThreshold = static_cast<int>(threshold); }

std::string_view FormatLogLine(LogLevel level, std::string_view text, char* buffer, std::size_t size)
{
    if (size < 8) return {};
    std::size_t used = static_cast<std::size_t>(std::snprintf(buffer, size, "<%d>", static_cast<int>(level)));
    for (std::size_t i = 0; i < text.size() && used + 4 < size; ++i) {
        const char ch = text[i];
        if (ch == '\r' || ch == '\n') {
            // CR LF counts as one break; trailing breaks are dropped.
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (i + 1 >= text.size()) break;
            buffer[used++] = ' ';
            buffer[used++] = '|';
            buffer[used++] = ' ';
        } else {
            // Other control bytes from the line would upset the journal.
            buffer[used++] = (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ? '?' : ch;
        }
    }
    return {buffer, used};
}

void Log(LogLevel level, std::string_view text)
{
    if (static_cast<int>(level) > g_nThreshold.load()) return;
    char buffer[1024];
    std::string_view line = FormatLogLine(level, text, buffer, sizeof buffer - 1);
    std::string out(line);
    out += '\n';
    // One write per line keeps lines whole even if another thread logs.
    const ssize_t written = ::write(STDERR_FILENO, out.data(), out.size());
    (void)written;
}

}  // namespace velmor
