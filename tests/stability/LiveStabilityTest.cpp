// The live statistics against the batch estimators over the same window, the
// wander masks on both sides of each break-point, and the holdover
// prediction against a known aging.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "stability/HoldoverPredictor.h"
#include "stability/LiveStability.h"
#include "stability/Masks.h"
#include "stability/Stability.h"
#include "stability/TimeError.h"

namespace velmor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct CFed {
    std::int64_t m_llSecond;
    double m_dPhase;
    bool m_bSettled;
    bool m_bBreak = false;  // a marked break (a counter's slip) before this second
};

std::vector<std::size_t> AllFactors()
{
    std::vector<std::size_t> m(std::begin(CLiveStability::kMarginTaus), std::end(CLiveStability::kMarginTaus));
    m.insert(m.end(), std::begin(CLiveStability::kReportedTaus), std::end(CLiveStability::kReportedTaus));
    std::sort(m.begin(), m.end());
    m.erase(std::unique(m.begin(), m.end()), m.end());
    return m;
}

// The settled runs of consecutive seconds inside (now - window, now].
std::vector<std::vector<double>> WindowSegments(const std::vector<CFed>& fed, std::int64_t window)
{
    std::vector<std::vector<double>> segments;
    if (fed.empty()) return segments;
    const std::int64_t now = fed.back().m_llSecond;
    std::int64_t previous = std::numeric_limits<std::int64_t>::min();
    for (const CFed& f : fed) {
        if (f.m_llSecond <= now - window || !f.m_bSettled) {
            previous = std::numeric_limits<std::int64_t>::min();
            continue;
        }
        if (previous == std::numeric_limits<std::int64_t>::min() || f.m_llSecond != previous + 1 || f.m_bBreak)
            segments.emplace_back();
        segments.back().push_back(f.m_dPhase);
        previous = f.m_llSecond;
    }
    return segments;
}

void ExpectClose(double expected, double actual, const char* what, std::size_t m, LiveWindow window)
{
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what << " m=" << m << " " << WindowName(window) << " got " << actual;
        return;
    }
    EXPECT_LE(std::fabs(actual - expected), 1e-9 * std::fabs(expected))
        << what << " m=" << m << " " << WindowName(window) << " expected " << expected << " got " << actual;
}

void ExpectMatchesBatch(const CLiveStability& live, const std::vector<CFed>& fed)
{
    const std::vector<std::size_t> factors = AllFactors();
    for (LiveWindow window : kLiveWindows) {
        const auto segments = WindowSegments(fed, live.WindowSeconds(window));
        CTauChoice taus;
        taus.m_spacing = TauSpacing::List;
        taus.m_anMultiples = factors;
        const auto batch = ComputeSegmentedStability(segments, SeriesKind::Phase, 1.0, taus);
        for (std::size_t i = 0; i < factors.size(); ++i) {
            const std::size_t m = factors[i];
            const CStabilityPoint point = live.Deviation(window, m);
            ExpectClose(batch.empty() ? kNaN : batch[i].m_adev.m_dValue, point.m_adev.m_dValue, "ADEV", m, window);
            ExpectClose(batch.empty() ? kNaN : batch[i].m_tdev.m_dValue, point.m_tdev.m_dValue, "TDEV", m, window);
            if (!batch.empty()) {
                EXPECT_EQ(batch[i].m_adev.m_nTerms, point.m_adev.m_nTerms) << m;
                EXPECT_EQ(batch[i].m_tdev.m_nTerms, point.m_tdev.m_nTerms) << m;
            }
            double mtie = kNaN;
            for (const auto& segment : segments) {
                const std::size_t one[] = {m};
                const CWindowSpread spread = MaxTimeIntervalErrors(segment, one)[0];
                if (spread.m_nWindows > 0) mtie = std::isnan(mtie) ? spread.m_dSpread : std::max(mtie, spread.m_dSpread);
            }
            ExpectClose(mtie, live.Mtie(window, m), "MTIE", m, window);
        }
    }
}

// White phase noise on a wandering frequency, a large phase offset, with
// unsettled stretches, missing seconds of every length, and marked breaks
// at consecutive seconds with a phase step (slips).
class CRandomFeed {
public:
    explicit CRandomFeed(std::uint32_t seed) : m_random(seed) {}
    CFed Next()
    {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        m_llSecond += unit(m_random) < 0.0005 ? 1 + static_cast<std::int64_t>(m_random() % 5000) : 1;
        if (m_nUnsettled == 0 && unit(m_random) < 0.0003) m_nUnsettled = 1 + static_cast<int>(m_random() % 300);
        m_dFrequency += 1e-12 * m_gauss(m_random);
        m_dPhase += m_dFrequency;
        const bool settled = m_nUnsettled == 0;
        if (m_nUnsettled > 0) --m_nUnsettled;
        const bool slip = unit(m_random) < 0.0004;
        if (slip) m_dPhase += 5e-6;
        return {m_llSecond, 0.25 + m_dPhase + 5e-9 * m_gauss(m_random), settled, slip};
    }

private:
    std::mt19937 m_random;
    std::normal_distribution<double> m_gauss{0.0, 1.0};
    std::int64_t m_llSecond = 1700000000;
    int m_nUnsettled = 0;
    double m_dFrequency = 3e-11;
    double m_dPhase = 0.0;
};

TEST(LiveStability, AgreesWithTheBatchEstimatorsOnShortWindows)
{
    CLiveStability live(1500, 7000);
    CRandomFeed feed(11);
    std::vector<CFed> fed;
    for (int i = 1; i <= 30000; ++i) {
        fed.push_back(feed.Next());
        live.Add(fed.back().m_llSecond, fed.back().m_dPhase, fed.back().m_bSettled, fed.back().m_bBreak);
        if (i % 3700 == 0) ExpectMatchesBatch(live, fed);
    }
    ExpectMatchesBatch(live, fed);
}

TEST(LiveStability, AgreesWithTheBatchEstimatorsOverAWholeDay)
{
    // The day's window wraps its store and is recomputed on the way.
    CLiveStability live;
    CRandomFeed feed(5);
    std::vector<CFed> fed;
    for (int i = 1; i <= 100000; ++i) {
        fed.push_back(feed.Next());
        live.Add(fed.back().m_llSecond, fed.back().m_dPhase, fed.back().m_bSettled, fed.back().m_bBreak);
    }
    ExpectMatchesBatch(live, fed);
    EXPECT_LE(live.DaySamples(), 86400u);
}

TEST(LiveStability, GapsUnsettledSecondsAndTheClockGoingBack)
{
    CLiveStability live(100, 1000);
    // Two runs of 5 seconds with one unsettled second between: no Allan term
    // at m = 2 (it needs 5 consecutive points... and each run has them), but
    // none straddles the break.
    const double run[] = {0, 1e-9, 4e-9, 2e-9, 0};
    for (int i = 0; i < 5; ++i) live.Add(10 + i, run[i], true);
    live.Add(15, 9.0, false);
    for (int i = 0; i < 5; ++i) live.Add(16 + i, 1.0 + run[i], true);
    EXPECT_EQ(live.Deviation(LiveWindow::Hour, 2).m_adev.m_nTerms, 2u);
    EXPECT_NEAR(live.Mtie(LiveWindow::Hour, 4), 4e-9, 1e-15);
    // A repeated second changes nothing.
    live.Add(20, 5.0, true);
    EXPECT_NEAR(live.Mtie(LiveWindow::Hour, 4), 4e-9, 1e-15);
    // The clock going back starts afresh.
    live.Add(3, 0.0, true);
    EXPECT_TRUE(std::isnan(live.Mtie(LiveWindow::Hour, 1)));
    EXPECT_EQ(live.Deviation(LiveWindow::Hour, 1).m_adev.m_nTerms, 0u);
    // Time passing with nothing settled empties the hour but not the day.
    for (int i = 0; i < 5; ++i) live.Add(4 + i, 1e-9 * i * i, true);
    live.Add(200, kNaN, true);
    EXPECT_TRUE(std::isnan(live.Mtie(LiveWindow::Hour, 1)));
    EXPECT_DOUBLE_EQ(live.Mtie(LiveWindow::Day, 1), 7e-9);
}

TEST(LiveStability, AMarkedBreakSplitsConsecutiveSeconds)
{
    // Two 1 ns/s ramps of five seconds each, one after the other, the second
    // 1 us higher and marked as a break (a counter's slip): neither the Allan
    // terms nor the MTIE windows may see the step.
    CLiveStability live(100, 1000);
    for (int i = 0; i < 5; ++i) live.Add(10 + i, 1e-9 * i, true);
    for (int i = 0; i < 5; ++i) live.Add(15 + i, 1e-6 + 1e-9 * i, true, i == 0);
    const CStabilityPoint one = live.Deviation(LiveWindow::Hour, 1);
    EXPECT_EQ(one.m_adev.m_nTerms, 6u);
    EXPECT_NEAR(one.m_adev.m_dValue, 0.0, 1e-18);
    EXPECT_NEAR(live.Mtie(LiveWindow::Day, 1), 1e-9, 1e-15);
    EXPECT_NEAR(live.Mtie(LiveWindow::Hour, 4), 4e-9, 1e-15);
    EXPECT_TRUE(std::isnan(live.Mtie(LiveWindow::Hour, 8)));
}

TEST(WanderMasks, LimitsOnBothSidesOfEveryBreakPoint)
{
    const auto g811 = [](double tau) { return MaskLimit(WanderMask::G811, WanderStatistic::Mtie, tau); };
    const auto prtc = [](double tau) { return MaskLimit(WanderMask::G8272PrtcA, WanderStatistic::Mtie, tau); };
    EXPECT_TRUE(std::isnan(g811(0.1)));
    EXPECT_TRUE(std::isnan(prtc(0.05)));
    EXPECT_NEAR(g811(0.2), 0.025055e-6, 1e-18);
    EXPECT_NEAR(g811(1000), 0.3e-6, 1e-18);
    EXPECT_NEAR(g811(1001), 0.30001e-6, 1e-18);
    EXPECT_NEAR(g811(2048), 0.31048e-6, 1e-18);
    EXPECT_NEAR(prtc(273), 0.100075e-6, 1e-18);
    EXPECT_NEAR(prtc(273.5), 0.1e-6, 1e-18);
    EXPECT_NEAR(prtc(1e6), 0.1e-6, 1e-18);
    for (WanderMask mask : kWanderMasks) {
        const auto tdev = [mask](double tau) { return MaskLimit(mask, WanderStatistic::Tdev, tau); };
        EXPECT_TRUE(std::isnan(tdev(0.1)));
        EXPECT_NEAR(tdev(0.11), 3e-9, 1e-21);
        EXPECT_NEAR(tdev(100), 3e-9, 1e-21);
        EXPECT_NEAR(tdev(101), 3.03e-9, 1e-21);
        EXPECT_NEAR(tdev(1000), 30e-9, 1e-21);
        EXPECT_NEAR(tdev(1001), 30e-9, 1e-21);
        EXPECT_NEAR(tdev(10000), 30e-9, 1e-21);
        EXPECT_TRUE(std::isnan(tdev(10001)));
    }
}

TEST(WanderMasks, MarginIsTheWorstRatioOverTheMeasuredPoints)
{
    // PRTC-A just below its limit before 273 s and above it after.
    const CTauValue mtie[] = {{256, 0.09e-6}, {512, 0.11e-6}, {1024, kNaN}};
    EXPECT_NEAR(MaskMargin(WanderMask::G8272PrtcA, WanderStatistic::Mtie, mtie), 1.1, 1e-12);
    // G.811 is far looser there: 0.09 / 0.0954 beats 0.11 / 0.1658.
    EXPECT_NEAR(MaskMargin(WanderMask::G811, WanderStatistic::Mtie, mtie), 0.09 / 0.0954, 1e-12);
    // TDEV: 2 ns at 64 s is 2/3 of the flat part; 20 ns at 512 s is 20/15.36.
    const CTauValue tdev[] = {{64, 2e-9}, {512, 20e-9}, {2048, 10e-9}, {20000, 1.0}};
    EXPECT_NEAR(MaskMargin(WanderMask::G811, WanderStatistic::Tdev, tdev), 20.0 / 15.36, 1e-12);
    // Around 1000 s: G.811's MTIE ramp flattens (0.1658 us at 512 s, 0.30024
    // us at 1024 s) and TDEV reaches its 30 ns ceiling; the worst side wins.
    const CTauValue aroundThousand[] = {{512, 0.15e-6}, {1024, 0.31e-6}};
    EXPECT_NEAR(MaskMargin(WanderMask::G811, WanderStatistic::Mtie, aroundThousand), 0.31 / 0.30024, 1e-12);
    const CTauValue quieterLater[] = {{512, 0.16e-6}, {1024, 0.20e-6}};
    EXPECT_NEAR(MaskMargin(WanderMask::G811, WanderStatistic::Mtie, quieterLater), 0.16 / 0.1658, 1e-12);
    const CTauValue tdevAroundThousand[] = {{512, 10e-9}, {1024, 33e-9}};
    EXPECT_NEAR(MaskMargin(WanderMask::G8272PrtcA, WanderStatistic::Tdev, tdevAroundThousand), 1.1, 1e-12);
    EXPECT_TRUE(std::isnan(MaskMargin(WanderMask::G811, WanderStatistic::Tdev, std::span<const CTauValue>())));
    EXPECT_STREQ(MaskName(WanderMask::G8272PrtcA), "g8272_prtc_a");
    EXPECT_STREQ(StatisticName(WanderStatistic::Tdev), "tdev");
}

TEST(LiveStability, MarginOfASteadyDrift)
{
    // A phase ramp of 1e-10 s/s: MTIE(tau) = 1e-10 tau, TDEV 0. The worst
    // MTIE ratio is at 2048 s for both masks.
    CLiveStability live;
    for (int i = 0; i < 3600; ++i) live.Add(1000 + i, 1e-10 * i, true);
    EXPECT_NEAR(live.Margin(WanderMask::G811, WanderStatistic::Mtie, LiveWindow::Hour), 2.048e-7 / 0.31048e-6, 1e-6);
    EXPECT_NEAR(live.Margin(WanderMask::G8272PrtcA, WanderStatistic::Mtie, LiveWindow::Day), 2.048, 1e-6);
    EXPECT_NEAR(live.Margin(WanderMask::G811, WanderStatistic::Tdev, LiveWindow::Hour), 0.0, 1e-6);
    EXPECT_NEAR(live.Mtie(LiveWindow::Hour, 1000), 1e-7, 1e-15);
}

TEST(HoldoverPredictor, PredictsFromTheEntryAndTheLastDaysAging)
{
    CHoldoverPredictor predictor;
    EXPECT_FALSE(predictor.Predicted());
    predictor.OnHoldover(5);  // no lock seen yet: nothing to predict from
    EXPECT_FALSE(predictor.Predicted());

    // Two days of lock; the free-running frequency ages by 1e-15/s on the
    // first and by 4e-15/s on the second, which alone the fit may see.
    std::mt19937 random(3);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const std::int64_t start = 1000;
    double free = -3e-9;
    for (std::int64_t s = start; s < start + 2 * 86400; ++s) {
        free += s < start + 86400 ? 1e-15 : 4e-15;
        predictor.OnLocked(s, 20e-9, 2e-12, free + 1e-13 * gauss(random));
    }
    const std::int64_t entry = start + 2 * 86400 - 1;
    predictor.OnHoldover(entry + 1);
    EXPECT_NEAR(predictor.AgingPerSecond(), 4e-15, 0.05e-15);
    predictor.OnHoldover(entry + 3600);
    const double t = 3600;
    ASSERT_TRUE(predictor.Predicted());
    EXPECT_NEAR(*predictor.Predicted(), 20e-9 + 2e-12 * t + 0.5 * 4e-15 * t * t, 1e-9);
    // Recovering ends the prediction.
    predictor.OnOther();
    EXPECT_FALSE(predictor.Predicted());
}

TEST(HoldoverPredictor, TooShortALockGivesNoAging)
{
    CHoldoverPredictor predictor;
    for (std::int64_t s = 0; s < 200; ++s) predictor.OnLocked(s, 1e-9, kNaN, 1e-12 * static_cast<double>(s));
    predictor.OnHoldover(400);
    EXPECT_EQ(predictor.AgingPerSecond(), 0.0);
    EXPECT_NEAR(*predictor.Predicted(), 1e-9, 1e-18);
}

}  // namespace
}  // namespace velmor
