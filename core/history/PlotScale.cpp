#include "PlotScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmor {

namespace {

// The plotting library refuses ranges beyond about 1e250; values past this
// are held to it.
constexpr double kFarthest = 1e249;
// Below this share of the values' size a span or a change is rounding.
constexpr double kRelativeResolution = 1e-9;

double Held(double v) { return std::clamp(v, -kFarthest, kFarthest); }

// The value at fraction |q| of the sorted order of |values| (reordered in
// place), interpolated between the two nearest ranks.
double Quantile(std::vector<double>& values, double q)
{
    const double rank = q * static_cast<double>(values.size() - 1);
    const auto k = static_cast<std::size_t>(std::floor(rank));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    const double at = values[k];
    const double fraction = rank - static_cast<double>(k);
    if (fraction <= 0 || k + 1 >= values.size()) return at;
    // After nth_element everything past k is at least values[k]; the next
    // rank is the smallest of them.
    const double next = *std::min_element(values.begin() + static_cast<std::ptrdiff_t>(k + 1), values.end());
    return at + fraction * (next - at);
}

}  // namespace

CAxisRange PaddedRange(double lo, double hi, const CAxisTraits& traits)
{
    if (!std::isfinite(lo) || !std::isfinite(hi)) return {};
    lo = Held(lo);
    hi = Held(hi);
    if (lo > hi) std::swap(lo, hi);
    const double margin = 0.08 * (hi - lo);
    double lower = lo - margin;
    double upper = hi + margin;
    const double magnitude = std::max(std::abs(lo), std::abs(hi));
    // A millionth of the size keeps six significant digits of tick labels apart.
    const double minSpan = std::max({traits.m_dMinSpan, magnitude * 1e-6, 1e-200});
    if (upper - lower < minSpan) {
        const double centre = lo / 2 + hi / 2;
        lower = centre - minSpan / 2;
        upper = centre + minSpan / 2;
    }
    if (traits.m_bIntegral) {
        lower = std::floor(lower);
        upper = std::ceil(upper);
    }
    return {Held(lower), Held(upper)};
}

double TickStep(double lower, double upper, int targetCount, bool integral)
{
    const double span = upper - lower;
    if (!std::isfinite(span) || span <= 0 || targetCount < 1) return 1;
    const double raw = span / targetCount;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double mantissa = raw / power;
    const double nice = mantissa < 1.5 ? 1 : mantissa < 3.5 ? 2 : mantissa < 7.5 ? 5 : 10;
    double step = nice * power;
    if (integral) step = std::max(1.0, std::round(step));
    return step > 0 && std::isfinite(step) ? step : 1;
}

int TickDecimals(double step)
{
    if (!std::isfinite(step) || step <= 0 || step >= 1) return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 15);
}

bool PercentileRange(std::vector<double> values, double lowPercent, double highPercent, CAxisRange& range)
{
    std::erase_if(values, [](double v) { return !std::isfinite(v); });
    if (values.empty()) return false;
    lowPercent = std::clamp(std::isfinite(lowPercent) ? lowPercent : 0.0, 0.0, 100.0);
    highPercent = std::clamp(std::isfinite(highPercent) ? highPercent : 100.0, lowPercent, 100.0);
    range.m_dLower = Quantile(values, lowPercent / 100);
    range.m_dUpper = Quantile(values, highPercent / 100);
    return true;
}

std::vector<CClipMark> ClippedPoints(const std::vector<double>& lows, const std::vector<double>& highs,
                                     const CAxisRange& range)
{
    std::vector<CClipMark> marks;
    const std::size_t n = std::min(lows.size(), highs.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double low = lows[i];
        const double high = highs[i];
        if (!std::isfinite(low) || !std::isfinite(high)) continue;
        const bool above = high > range.m_dUpper;
        const bool below = low < range.m_dLower;
        if (!above && !below) continue;
        const bool markAbove = above && (!below || high - range.m_dUpper >= range.m_dLower - low);
        marks.push_back({i, markAbove});
    }
    return marks;
}

std::string FormatDrift(double slopePerDay, double spanDays, double magnitude, const CDriftUnit& unit)
{
    if (!std::isfinite(slopePerDay)) return "-";
    const char* pszUnit = unit.m_pszUnit ? unit.m_pszUnit : "";
    const std::string suffix = *pszUnit == '/' || *pszUnit == '\0' ? pszUnit : std::string(" ") + pszUnit;
    // Without a span or a size to judge by, the slope is written as it is.
    const bool judged = std::isfinite(spanDays) && std::isfinite(magnitude);
    const bool rounding = judged && std::abs(slopePerDay * spanDays) <= std::abs(magnitude) * kRelativeResolution;
    const double v = slopePerDay * unit.m_dScale;
    if (rounding || v == 0 || !std::isfinite(v)) return "0" + suffix;
    char text[48];
    const double size = std::abs(v);
    if (size >= 1e-3 && size < 1e6) {
        // Three significant digits, in plain decimals; the exponent is the
        // rounded value's (99.96 is 100, not 100.0).
        char rounded[32];
        std::snprintf(rounded, sizeof rounded, "%.2e", size);
        const char* pszExponent = std::strchr(rounded, 'e');
        const int exponent = pszExponent ? std::atoi(pszExponent + 1) : 0;
        std::snprintf(text, sizeof text, "%+.*f", std::max(0, 2 - exponent), v);
    } else {
        std::snprintf(text, sizeof text, "%+.3g", v);
    }
    return text + suffix;
}

}  // namespace velmor
