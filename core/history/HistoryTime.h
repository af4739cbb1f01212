#pragma once
// Calendar arithmetic for the history: the unit's reported time turned into
// UTC milliseconds, and the ISO 8601 texts the command-line tool reads and
// writes. All UTC, no time zones, no locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/Numbers.h"

namespace velmor {

// Days since 1970-01-01 of a proleptic Gregorian date (no range checks).
std::int64_t DaysFromCivil(int year, int month, int day);

// The unit's time on the UTC scale in ms, from its year and DDD:HH:MM:SS text
// and the time-scale code: exact for UTC ('2', 'U'), and for GPS time ('1',
// 'G') when the GPS-UTC leap seconds are known. None for the local and
// manual scales, an unknown code, or text that is not a valid time.
std::optional<std::int64_t> UnitTimeToUtcMs(int year, std::string_view dayTime, char timeMode,
                                            std::optional<int> leapSeconds);

// 2026-12-07T10:00:00.000Z
std::string FormatIsoUtcMs(std::int64_t ms);
// 2026-12-07T10:00:00Z
std::string FormatIsoUtcSeconds(std::int64_t ms);

// Reads YYYY-MM-DD, YYYY-MM-DDTHH:MM, YYYY-MM-DDTHH:MM:SS[.fff] with an
// optional trailing Z (the time is UTC either way). None when malformed.
std::optional<std::int64_t> ParseIsoUtc(std::string_view text);

// The strict numbers (ParseStrictDouble, ParseStrictInt) live in text/Numbers.

// The host's UTC time now, in milliseconds since 1970.
std::int64_t SystemUtcMs();

}  // namespace velmor
