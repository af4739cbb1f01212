// The simulated counter's lines and faults, read back through the real
// parser and tracker: every fault shows as what a real counter's would.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../tools/unitsim/SimCounter.h"
#include "counter/CounterParser.h"
#include "counter/CounterTracker.h"

namespace velmor {
namespace {

struct Readback {
    CCounterParser parser;
    CCounterTracker tracker;
    std::vector<CCounterSample> pairs;
    std::vector<CCounterSample> all;
    std::size_t lines = 0;
    explicit Readback(CounterFormat format = CounterFormat::Auto) : parser(format) {}

    void Run(const CSimCounterConfig& config, int seconds, double phaseNs = 12.5)
    {
        CSimCounter counter(config, 7);
        for (int s = 1; s <= seconds; ++s) {
            std::vector<CCounterLine> out;
            parser.Feed(counter.Second(s, phaseNs + 0.001 * s), out, static_cast<std::uint64_t>(s) * 1000);
            lines += out.size();
            for (const CCounterLine& line : out) tracker.Add(line, line.m_qwTick, all);
        }
        for (const CCounterSample& sample : all)
            if (sample.m_strChannel == "A-B") pairs.push_back(sample);
    }
};

TEST(SimCounter, CleanTimestampsGiveTheTruePhaseWithinTheNoise)
{
    CSimCounterConfig config;
    Readback r;
    r.Run(config, 200);
    EXPECT_EQ(r.parser.Format(), CounterFormat::Timestamp);
    ASSERT_EQ(r.pairs.size(), 200u);
    double sum = 0, sumSquares = 0;
    for (std::size_t i = 0; i < r.pairs.size(); ++i) {
        const double errorPs = r.pairs[i].PhaseSeconds() * 1e12 - (12.5 + 0.001 * static_cast<double>(i + 1)) * 1e3;
        sum += errorPs;
        sumSquares += errorPs * errorPs;
    }
    const double mean = sum / 200, rms = std::sqrt(sumSquares / 200 - mean * mean);
    // 60 ps of white noise, 200 samples: the rms within 20%, the mean
    // within four standard errors.
    EXPECT_NEAR(rms, 60, 12);
    EXPECT_LT(std::fabs(mean), 4 * 60 / std::sqrt(200.0));
    EXPECT_EQ(r.tracker.Unpaired(), 0u);
    EXPECT_EQ(r.tracker.Slips(), 0u);
    EXPECT_EQ(r.parser.ParseErrors(), 0u);
}

TEST(SimCounter, FaultsShowAsLostLinesSwapsRestartsGarbageAndOneSlip)
{
    CSimCounterConfig config;
    config.m_dDropPercent = 10;
    config.m_dSwapPercent = 50;
    config.m_dGarbagePercent = 10;
    config.m_dBannerEvery = 100;
    config.m_dSlipAt = 150;
    Readback r(CounterFormat::Timestamp);
    r.Run(config, 240);
    // A lost line leaves its partner alone; a swapped second still pairs.
    EXPECT_GT(r.tracker.Unpaired(), 10u);
    EXPECT_GT(r.pairs.size(), 160u);
    EXPECT_LT(r.pairs.size(), 225u);
    // Garbage lines and the banner's mode line (its # lines are comments).
    EXPECT_GT(r.parser.ParseErrors(), 20u);
    // The slip: exactly one step of 5 us in A-B, at the unit's second 150,
    // where the counter has restarted once (second 100 is its second 1).
    int slips = 0;
    for (const CCounterSample& pair : r.pairs)
        if (pair.m_bSlip) {
            ++slips;
            EXPECT_EQ(pair.m_strText.substr(0, 3), "51.") << pair.m_strText;
            EXPECT_NEAR(pair.PhaseSeconds(), 5012.65e-9, 1e-9);
        }
    // The fixed seed loses neither of that second's lines.
    EXPECT_EQ(slips, 1);
    EXPECT_EQ(r.tracker.SlipsOf("A-B"), static_cast<std::uint64_t>(slips));
    // The restart at 100 and 200 ends a segment on every series.
    bool restartSeen = false;
    for (const CCounterSample& s : r.all)
        if (s.m_strChannel == "B" && s.m_strText.substr(0, 2) == "1." && s.m_bSegmentStart) restartSeen = true;
    EXPECT_TRUE(restartSeen);
}

TEST(SimCounter, ReadingLinesAreIntervalsDetectedAsReadings)
{
    CSimCounterConfig config;
    config.m_bReading = true;
    config.m_dNoisePs = 0;
    Readback r;
    r.Run(config, 20, -25);
    EXPECT_EQ(r.parser.Format(), CounterFormat::Reading);
    ASSERT_EQ(r.pairs.size(), 20u);
    // Printed with 13 significant digits, then rounded to the counter's 10 ps.
    EXPECT_NEAR(r.pairs[0].PhaseSeconds(), -24.999e-9, 10e-12);
    EXPECT_EQ(r.tracker.Primary(), "A-B");
}

}  // namespace
}  // namespace velmor
