#pragma once
// The simulated unit's constants and the small text and number helpers
// that its command and report code share.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/Text.h"

namespace velmor::simtext {

constexpr int kLeapSeconds = 18;
constexpr int kSamplesPerCycle = 600;
constexpr int kAveragingSeconds = 3600;
constexpr int kColdStartSeconds = 30;
constexpr int kRestartSeconds = 5;
constexpr int kPowerCycleSeconds = 2;
constexpr int kRecoverSeconds = 10;
constexpr double kJamNs = 1000;  // phase error beyond which recovery sets the 1PPS afresh
constexpr std::size_t kMaxTags = 32;
constexpr double kPi = 3.14159265358979323846;

// Where the simulated antenna stands.
constexpr double kHomeLat = 32.879041;
constexpr double kHomeLon = -117.235378;
constexpr double kHomeHeight = 96.20;

inline int ToInt(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp(value, -1000000000L, 1000000000L));
}

// Non-finite or absurd values (a typed "nan" or "1e999") become 0.
inline double ToDouble(const std::string& text)
{
    const double value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value) && std::fabs(value) < 1e9 ? value : 0.0;
}

// Degrees as whole degrees and minutes to four decimals, carried so that
// 59.99995 minutes never prints as 60.0000.
inline void SplitDegrees(double value, long& degrees, long& minutes, long& fraction)
{
    const long long total = std::llround(std::fabs(value) * 60.0 * 10000.0);
    degrees = static_cast<long>(total / 600000);
    minutes = static_cast<long>((total % 600000) / 10000);
    fraction = static_cast<long>(total % 10000);
}

// The legacy unit's packed exponent form: the mantissa's digits without a
// point, then the exponent with its sign (1.2345e-9 is 12345-09).
inline std::string PackedExponent(double value, int digits)
{
    std::string out;
    if (value < 0) out += '-';
    double magnitude = std::fabs(value);
    int exponent = 0;
    long long mantissa = 0;
    const double scale = std::pow(10.0, digits - 1);
    if (magnitude > 0) {
        exponent = static_cast<int>(std::floor(std::log10(magnitude)));
        mantissa = std::llround(magnitude / std::pow(10.0, exponent) * scale);
        if (mantissa >= static_cast<long long>(scale * 10)) {
            mantissa /= 10;
            ++exponent;
        }
    }
    out += Format("%0*lld%+03d", digits, mantissa, exponent);
    return out;
}

// Bytes for a log line: printable ASCII as it is, anything else as \xHH.
inline std::string Printable(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte < 0x7F) out += ch;
        else out += Format("\\x%02X", byte);
    }
    return out;
}

}  // namespace velmor::simtext
