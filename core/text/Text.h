#pragma once
// Small text helpers shared by every layer: formatting, prefixes, blanks,
// menu and control labels, and transcripts.

#include <string>
#include <string_view>

namespace velmor {

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline bool StartsWith(std::string_view text, std::string_view prefix) { return text.starts_with(prefix); }

// Equality ignoring ASCII case.
bool EqualNoCase(std::string_view a, std::string_view b);

// A blank separates words in settings files and scripts: space or tab.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsSign(char c) { return c == '+' || c == '-'; }

// |text| without the blanks at either end.
std::string_view Trim(std::string_view text);

// A menu or control label as the operator reads it: the '&' accelerator
// marks dropped, no spaces at either end.
std::string Plain(std::string_view label);

// Escapes a text for transcripts: \r \n \t \\ \" and \xHH for other
// non-printable bytes.
std::string Escape(std::string_view text);
// Escape() in double quotes.
inline std::string Quoted(std::string_view text) { return "\"" + Escape(text) + "\""; }

// The inverse of Escape(): resolves \r \n \t \\ \" and \xHH. False on a
// bad escape.
bool Unescape(std::string_view text, std::string& bytes);

}  // namespace velmor
