// The History window's axis arithmetic on the data that used to break it:
// a constant series, counts, one spike among quiet values, and the drift of
// a series that does not drift.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "history/PlotScale.h"

namespace velmor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The tick positions an axis with this range and step shows.
std::vector<double> Ticks(const CAxisRange& range, double step)
{
    std::vector<double> ticks;
    for (double t = std::ceil(range.m_dLower / step) * step; t <= range.m_dUpper + step * 1e-9; t += step)
        ticks.push_back(t);
    return ticks;
}

TEST(PlotScaleTest, ConstantAndNearlyConstantDataGetABandWithTicksThatReadApart)
{
    const CAxisTraits freq{0.2, false};
    // A constant frequency error of 5000e-12, and the same with the last bit
    // of rounding that a roll-up's mean carries.
    for (const double hi : {5000.0, 5000.0 + 5000.0 * 4e-16, 5000.0000001}) {
        const CAxisRange r = PaddedRange(5000.0, hi, freq);
        EXPECT_LT(r.m_dLower, 5000.0);
        EXPECT_GT(r.m_dUpper, hi);
        EXPECT_NEAR(r.m_dUpper - r.m_dLower, 0.2, 1e-6);
        EXPECT_NEAR((r.m_dUpper + r.m_dLower) / 2, 5000.0, 1e-6);
        // Four or so ticks, each label different at the decimals chosen.
        const double step = TickStep(r.m_dLower, r.m_dUpper, 4, false);
        const std::vector<double> ticks = Ticks(r, step);
        ASSERT_GE(ticks.size(), 3u);
        std::vector<std::string> labels;
        for (double t : ticks) {
            char text[64];
            std::snprintf(text, sizeof text, "%.*f", TickDecimals(step), t);
            labels.emplace_back(text);
        }
        for (std::size_t i = 1; i < labels.size(); ++i) EXPECT_NE(labels[i], labels[i - 1]);
    }
    // Zero stays in the middle of its band; a huge value gets a band that
    // six significant digits still tell apart.
    const CAxisRange zero = PaddedRange(0, 0, CAxisTraits{2, false});
    EXPECT_DOUBLE_EQ(zero.m_dLower, -1);
    EXPECT_DOUBLE_EQ(zero.m_dUpper, 1);
    const CAxisRange big = PaddedRange(3e9, 3e9, CAxisTraits{2, false});
    EXPECT_GE(big.m_dUpper - big.m_dLower, 3e3 - 1e-6);

    // Spread data keeps 8 % either side, whatever the minimum.
    const CAxisRange spread = PaddedRange(-10, 40, CAxisTraits{2, false});
    EXPECT_DOUBLE_EQ(spread.m_dLower, -14);
    EXPECT_DOUBLE_EQ(spread.m_dUpper, 44);
    // Reversed ends are taken in order.
    EXPECT_DOUBLE_EQ(PaddedRange(40, -10, CAxisTraits{2, false}).m_dLower, -14);
}

TEST(PlotScaleTest, CountsGetWholeNumberTicksAndWholeNumberEnds)
{
    const CAxisTraits count{2, true};
    // Eight satellites all day: 7, 8 and 9 on the axis, never 7.5.
    const CAxisRange sats = PaddedRange(8, 8, count);
    EXPECT_DOUBLE_EQ(sats.m_dLower, 7);
    EXPECT_DOUBLE_EQ(sats.m_dUpper, 9);
    EXPECT_DOUBLE_EQ(TickStep(sats.m_dLower, sats.m_dUpper, 4, true), 1);
    EXPECT_EQ(TickDecimals(1), 0);
    // 5 to 12 satellites.
    const CAxisRange some = PaddedRange(5, 12, count);
    EXPECT_DOUBLE_EQ(some.m_dLower, 4);
    EXPECT_DOUBLE_EQ(some.m_dUpper, 13);
    EXPECT_DOUBLE_EQ(TickStep(some.m_dLower, some.m_dUpper, 4, true), 2);
    // Without the rule the satellites' step would be 0.5.
    EXPECT_DOUBLE_EQ(TickStep(sats.m_dLower, sats.m_dUpper, 4, false), 0.5);
    // A DAC that moves by one step: whole-number ends, whole steps.
    const CAxisRange dac = PaddedRange(32767, 32768, count);
    EXPECT_DOUBLE_EQ(dac.m_dLower, 32766);
    EXPECT_DOUBLE_EQ(dac.m_dUpper, 32769);
    EXPECT_DOUBLE_EQ(TickStep(dac.m_dLower, dac.m_dUpper, 4, true), 1);
    // Over a wide DAC range the steps stay 1, 2, 5 x 10^k.
    EXPECT_DOUBLE_EQ(TickStep(0, 65535, 4, true), 20000);
    EXPECT_DOUBLE_EQ(TickStep(0, 1, 4, false), 0.2);
    EXPECT_DOUBLE_EQ(TickStep(0, 1e-3, 4, false), 2e-4);
    EXPECT_EQ(TickDecimals(0.5), 1);
    EXPECT_EQ(TickDecimals(0.1), 1);
    EXPECT_EQ(TickDecimals(0.05), 2);
    EXPECT_EQ(TickDecimals(2e-4), 4);
    EXPECT_EQ(TickDecimals(20000), 0);
}

TEST(PlotScaleTest, BadNumbersGiveAUsableAxis)
{
    for (const double bad : {kNaN, kInf, -kInf}) {
        const CAxisRange r = PaddedRange(bad, 1, CAxisTraits{});
        EXPECT_LT(r.m_dLower, r.m_dUpper);
        EXPECT_DOUBLE_EQ(TickStep(bad, 1, 4, false), 1);
        EXPECT_EQ(TickDecimals(bad), 0);
    }
    // The largest doubles are held to what the plots accept.
    const CAxisRange huge = PaddedRange(-std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), {});
    EXPECT_TRUE(std::isfinite(huge.m_dUpper - huge.m_dLower));
    EXPECT_LE(huge.m_dUpper, 1e250);
    EXPECT_DOUBLE_EQ(TickStep(1, 1, 4, false), 1);
    EXPECT_DOUBLE_EQ(TickStep(0, 10, 0, false), 1);
    EXPECT_GT(TickStep(huge.m_dLower, huge.m_dUpper, 4, true), 0);
}

TEST(PlotScaleTest, PercentilesCutOffOneSpikeAndMarkIt)
{
    // A quiet 1PPS offset of -3..3 ns with one 5000 ns spike.
    std::vector<double> values;
    for (int i = 0; i < 1000; ++i) values.push_back((i % 7) - 3.0);
    values[500] = 5000;
    values.push_back(kNaN);
    CAxisRange range;
    ASSERT_TRUE(PercentileRange(values, 1, 99, range));
    EXPECT_DOUBLE_EQ(range.m_dLower, -3);
    EXPECT_DOUBLE_EQ(range.m_dUpper, 3);
    const std::vector<CClipMark> marks = ClippedPoints(values, values, range);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].m_nIndex, 500u);
    EXPECT_TRUE(marks[0].m_bAbove);

    // Interpolated between ranks: the 25th percentile of 0, 10, 20, 30, 40.
    ASSERT_TRUE(PercentileRange({40, 0, 30, 10, 20}, 25, 90, range));
    EXPECT_DOUBLE_EQ(range.m_dLower, 10);
    EXPECT_DOUBLE_EQ(range.m_dUpper, 36);
    // One value; percentiles out of order or out of bounds; nothing finite.
    ASSERT_TRUE(PercentileRange({7}, 1, 99, range));
    EXPECT_DOUBLE_EQ(range.m_dLower, 7);
    EXPECT_DOUBLE_EQ(range.m_dUpper, 7);
    ASSERT_TRUE(PercentileRange({1, 2, 3}, 150, -5, range));
    EXPECT_DOUBLE_EQ(range.m_dLower, 3);
    EXPECT_DOUBLE_EQ(range.m_dUpper, 3);
    EXPECT_FALSE(PercentileRange({kNaN, kInf}, 1, 99, range));
    EXPECT_FALSE(PercentileRange({}, 1, 99, range));

    // Roll-ups are marked by their extent: a mean inside whose maximum is
    // cut off is marked above; one wider than the range at the side it
    // leaves further; bounds that are not finite are not marked.
    const std::vector<double> lows = {0, -1, -9, kNaN, -12};
    const std::vector<double> highs = {1, 8, 2, 50, 11};
    const std::vector<CClipMark> rollups = ClippedPoints(lows, highs, CAxisRange{-2, 5});
    ASSERT_EQ(rollups.size(), 3u);
    EXPECT_EQ(rollups[0].m_nIndex, 1u);
    EXPECT_TRUE(rollups[0].m_bAbove);
    EXPECT_EQ(rollups[1].m_nIndex, 2u);
    EXPECT_FALSE(rollups[1].m_bAbove);
    EXPECT_EQ(rollups[2].m_nIndex, 4u);
    EXPECT_FALSE(rollups[2].m_bAbove);
    EXPECT_TRUE(ClippedPoints({1, 2}, {1}, CAxisRange{0, 5}).empty());
}

TEST(PlotScaleTest, DriftIsWrittenOnceWithItsUnitAndNoiseReadsAsZero)
{
    // The frequency error is plotted in 1e-12 and its drift written as the
    // fraction per day, as oscillator ageing is quoted.
    const CDriftUnit freq{1e-12, "/day"};
    EXPECT_EQ(FormatDrift(0.52, 1, 2, freq), "+5.2e-13/day");
    // A constant 5000e-12 fits a slope of 1e-11 (in 1e-12 per day) from
    // rounding alone: that is no drift.
    EXPECT_EQ(FormatDrift(1.0385e-11, 1, 5000, freq), "0/day");
    EXPECT_EQ(FormatDrift(-1.0385e-11, 30, 5000, freq), "0/day");

    const CDriftUnit ns{1, "ns/day"};
    EXPECT_EQ(FormatDrift(0.5184, 1, 10, ns), "+0.518 ns/day");
    EXPECT_EQ(FormatDrift(-1234.4, 1, 10, ns), "-1234 ns/day");
    EXPECT_EQ(FormatDrift(12.345, 1, 10, ns), "+12.3 ns/day");
    EXPECT_EQ(FormatDrift(0.0012, 1, 10, ns), "+0.00120 ns/day");
    EXPECT_EQ(FormatDrift(2.5e-6, 1, 10, ns), "+2.5e-06 ns/day");
    EXPECT_EQ(FormatDrift(3e7, 1, 10, ns), "+3e+07 ns/day");
    EXPECT_EQ(FormatDrift(100, 0.5, 32000, CDriftUnit{1, "/day"}), "+100/day");
    EXPECT_EQ(FormatDrift(99.96, 0.5, 32000, CDriftUnit{1, "/day"}), "+100/day");
    EXPECT_EQ(FormatDrift(-0.09996, 1, 10, ns), "-0.100 ns/day");
    EXPECT_EQ(FormatDrift(-0.0121, 1, 40, CDriftUnit{1, "\u00b0C/day"}), "-0.0121 \u00b0C/day");
    EXPECT_EQ(FormatDrift(0, 1, 0, ns), "0 ns/day");
    // A small real drift over a long span is kept.
    EXPECT_EQ(FormatDrift(1e-4, 30, 5000, CDriftUnit{1, "/day"}), "+0.0001/day");
    EXPECT_EQ(FormatDrift(kNaN, 1, 10, ns), "-");
    EXPECT_EQ(FormatDrift(kInf, 1, 10, ns), "-");
    EXPECT_EQ(FormatDrift(1, kNaN, kNaN, CDriftUnit{1, nullptr}), "+1.00");
}

}  // namespace
}  // namespace velmor
