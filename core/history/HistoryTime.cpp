#include "history/HistoryTime.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace velmor {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Exactly |digits| decimal digits at |pos|; advances |pos|.
bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t digits, int& value)
{
    if (pos + digits > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += digits;
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

void SplitMs(std::int64_t ms, int& year, int& month, int& day, int& hour, int& minute, int& second, int& milli)
{
    std::int64_t days = ms / kMsPerDay;
    std::int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    // Civil date from a day count (the inverse of DaysFromCivil).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    hour = static_cast<int>(rest / 3600000);
    minute = static_cast<int>(rest / 60000 % 60);
    second = static_cast<int>(rest / 1000 % 60);
    milli = static_cast<int>(rest % 1000);
}

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day)
{
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::optional<std::int64_t> UnitTimeToUtcMs(int year, std::string_view dayTime, char timeMode,
                                            std::optional<int> leapSeconds)
{
    std::int64_t correctionS = 0;
    switch (timeMode) {
    case '2': case 'U': break;
    case '1': case 'G':
        if (!leapSeconds) return std::nullopt;
        correctionS = -*leapSeconds;  // GPS time runs ahead of UTC by the leap seconds
        break;
    default: return std::nullopt;
    }
    if (year < 1980 || year > 9999) return std::nullopt;
    std::size_t pos = 0;
    int doy = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(dayTime, pos, 3, doy) || !Expect(dayTime, pos, ':') || !ReadDigits(dayTime, pos, 2, hour) ||
        !Expect(dayTime, pos, ':') || !ReadDigits(dayTime, pos, 2, minute) || !Expect(dayTime, pos, ':') ||
        !ReadDigits(dayTime, pos, 2, second) || pos != dayTime.size())
        return std::nullopt;
    if (doy < 1 || doy > (IsLeapYear(year) ? 366 : 365) || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    const std::int64_t days = DaysFromCivil(year, 1, 1) + doy - 1;
    return days * kMsPerDay + ((hour * 60 + minute) * 60 + second + correctionS) * std::int64_t{1000};
}

std::string FormatIsoUtcMs(std::int64_t ms)
{
    int year, month, day, hour, minute, second, milli;
    SplitMs(ms, year, month, day, hour, minute, second, milli);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year, month, day, hour, minute, second,
                  milli);
    return text;
}

std::string FormatIsoUtcSeconds(std::int64_t ms)
{
    int year, month, day, hour, minute, second, milli;
    SplitMs(ms, year, month, day, hour, minute, second, milli);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hour, minute, second);
    return text;
}

std::optional<std::int64_t> ParseIsoUtc(std::string_view text)
{
    text = Trim(text);
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.remove_suffix(1);
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    if (!ReadDigits(text, pos, 4, year) || !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, month) ||
        !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, day))
        return std::nullopt;
    if (pos < text.size()) {
        if (text[pos] != 'T' && text[pos] != 't' && text[pos] != ' ') return std::nullopt;
        ++pos;
        if (!ReadDigits(text, pos, 2, hour) || !Expect(text, pos, ':') || !ReadDigits(text, pos, 2, minute))
            return std::nullopt;
        if (pos < text.size() && (!Expect(text, pos, ':') || !ReadDigits(text, pos, 2, second))) return std::nullopt;
        if (pos < text.size()) {
            if (!Expect(text, pos, '.')) return std::nullopt;
            // Up to three fraction digits count; more must still be digits.
            int scale = 100;
            std::size_t digits = 0;
            for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits) {
                milli += (text[pos] - '0') * scale;
                scale /= 10;
            }
            if (digits == 0) return std::nullopt;
        }
    }
    if (pos != text.size()) return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    return DaysFromCivil(year, month, day) * kMsPerDay + ((hour * 60 + minute) * 60 + second) * std::int64_t{1000} +
           milli;
}

std::int64_t SystemUtcMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace velmor
