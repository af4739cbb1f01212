#pragma once
// The arithmetic behind the History window's value axes and statistics
// table, apart from any drawing: how far an axis reaches for the data it
// shows, where its ticks go, which values a percentile scale cuts off, and
// how a drift per day is written.

#include <cstddef>
#include <string>
#include <vector>

namespace velmor {

struct CAxisRange {
    double m_dLower = 0;
    double m_dUpper = 1;
};

// What one value axis knows about its quantity.
struct CAxisTraits {
    // The narrowest span the axis shows: constant data is drawn in the middle
    // of a band this wide instead of on an axis of no height.
    double m_dMinSpan = 1;
    // Counts (satellites, DAC steps): whole-number ticks only.
    bool m_bIntegral = false;
};

// The axis range for data from |lo| to |hi|: a margin of 8 % of the span
// either side, at least |traits.m_dMinSpan| wide, and wide enough that its
// ticks still read apart at the values' magnitude (5000.0001 and 5000.0002
// would both print as "5000"). Counts reach at least one step either side.
// Data that are not finite give the range 0..1.
CAxisRange PaddedRange(double lo, double hi, const CAxisTraits& traits);

// The distance between ticks for about |targetCount| ticks on [lower,
// upper]: 1, 2 or 5 times a power of ten; for counts a whole number, at
// least 1. A range that is empty or not finite gives 1.
double TickStep(double lower, double upper, int targetCount, bool integral);

// The decimals a tick label needs to show multiples of |step| (0 for 1, 2,
// 50; 1 for 0.5; 3 for 0.002).
int TickDecimals(double step);

// The |lowPercent| and |highPercent| percentiles of |values| (non-finite
// values skipped), linearly interpolated between the nearest ranks. False
// when no value is finite.
bool PercentileRange(std::vector<double> values, double lowPercent, double highPercent, CAxisRange& range);

// One point of a plot that a percentile scale cuts off.
struct CClipMark {
    std::size_t m_nIndex = 0;  // into the plot's points
    bool m_bAbove = false;     // cut off at the top (else at the bottom)
};

// The points whose extent [lows[i], highs[i]] leaves |range| (a point both
// above and below, a roll-up wider than the range, is marked at the side it
// leaves further). Points whose bounds are not finite are skipped; the two
// vectors are read up to the shorter one's length.
std::vector<CClipMark> ClippedPoints(const std::vector<double>& lows, const std::vector<double>& highs,
                                     const CAxisRange& range);

// How a drift is written: the slope comes in the plotted unit per day and is
// multiplied by |m_dScale| before it is printed with |m_pszUnit| after the
// number ("ns/day", "/day" for a fraction or a count, "\u00b0C/day").
struct CDriftUnit {
    double m_dScale = 1;
    const char* m_pszUnit = "/day";
};

// The drift column of the statistics table: "+0.518 ns/day", "+5.2e-13/day",
// "0 \u00b0C/day"; "-" when the slope is not known. A slope whose change over
// |spanDays| is lost in the rounding of the values themselves (below a
// billionth of their size |magnitude|) is written as 0: a constant series
// fits a slope of arithmetic noise, not a drift.
std::string FormatDrift(double slopePerDay, double spanDays, double magnitude, const CDriftUnit& unit);

}  // namespace velmor
