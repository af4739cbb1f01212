#pragma once
// The lenient conversions the unit's texts are read with: leading blanks
// skipped, optional sign, digits up to the first other character, no digits
// gives 0. They never fail and never overflow into undefined behaviour.

#include <optional>
#include <string>
#include <string_view>

namespace velmor {

// Leading decimal integer, saturated to the int range.
int AtoI(std::string_view text);
// Leading decimal integer, saturated to the long long range.
long long AtoLL(std::string_view text);
// Leading floating-point number (decimal fraction and exponent); 0 when none.
double AtoF(std::string_view text);
// Truncates toward zero, saturating at the long range (NaN gives 0).
long TruncToLong(double value);
// Truncates toward zero, saturating at the int range (NaN gives 0).
int TruncToInt(double value);

// Strict numbers: the whole text (blanks and tabs around allowed, a trailing
// CR too) must be the number; none otherwise.
std::optional<double> ParseStrictDouble(std::string_view text);
std::optional<long long> ParseStrictInt(std::string_view text);

}  // namespace velmor
