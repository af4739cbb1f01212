#include "text/Numbers.h"

#include <charconv>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace velmor {

namespace {
bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

long long AtoLL(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (ULLONG_MAX - 9) / 10) { saturated = true; break; }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    if (negative) {
        if (saturated || value > static_cast<unsigned long long>(LLONG_MAX) + 1) return LLONG_MIN;
        return value == static_cast<unsigned long long>(LLONG_MAX) + 1 ? LLONG_MIN : -static_cast<long long>(value);
    }
    if (saturated || value > static_cast<unsigned long long>(LLONG_MAX)) return LLONG_MAX;
    return static_cast<long long>(value);
}

int AtoI(std::string_view text)
{
    long long v = AtoLL(text);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

double AtoF(std::string_view text)
{
    // strtod needs a terminated string; the texts are short.
    std::string copy(text.substr(0, 512));
    // Only decimal forms: hexadecimal floats, "inf" and "nan" are not numbers here.
    std::size_t i = 0;
    while (i < copy.size() && IsWhiteSpace(copy[i])) ++i;
    std::size_t j = i;
    if (j < copy.size() && (copy[j] == '+' || copy[j] == '-')) ++j;
    if (j >= copy.size() || !((copy[j] >= '0' && copy[j] <= '9') || copy[j] == '.')) return 0.0;
    if (copy[j] == '0' && j + 1 < copy.size() && (copy[j + 1] == 'x' || copy[j + 1] == 'X')) copy.resize(j + 1);
    errno = 0;
    double v = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(v)) return 0.0;
    return v;
}

long TruncToLong(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (value <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<long>(value);
}

int TruncToInt(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<double> ParseStrictDouble(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> ParseStrictInt(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace velmor
