#pragma once
// The monitor's log: one line per message on standard error, each opened by
// the syslog priority in angle brackets ("<4>...") so the systemd journal
// files it at that level; a terminal reader sees the same short prefix.

#include <cstddef>
#include <string_view>

namespace velmor {

enum class LogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Messages above |threshold| (less important) are not written.
void SetLogThreshold(LogLevel threshold);
// Writes one line; line breaks inside |text| become " | " so a message never
// spans journal entries.
void Log(LogLevel level, std::string_view text);
// The line Log writes for |text| at |level|, without the final newline.
std::string_view FormatLogLine(LogLevel level, std::string_view text, char* buffer, std::size_t size);

}  // namespace velmor
