// The counter's live stability through the real program and a real counter
// session on one clock: each counter sample joined to the unit's second by
// the host's tick (either side of the report), segments cut where the unit
// is not settled, where no sample joined, and at the counter's slips, the
// figures equal to the batch estimators on the same segments, and the
// measured holdover error against the counter's own phase.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include <prometheus/text_serializer.h>

#include "CounterStability.h"
#include "app/Program.h"
#include "stability/Stability.h"
#include "stability/TimeError.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Scrape(prometheus::Registry& registry)
{
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, registry.Collect());
    return out.str();
}

// "SECONDS.FRACTION chX" in ten-picosecond units.
std::string Timestamp(std::int64_t ps, char channel)
{
    char line[64];
    std::snprintf(line, sizeof line, "%lld.%011lld ch%c\r\n", static_cast<long long>(ps / 1000000000000),
                  static_cast<long long>(ps % 1000000000000 / 10), channel);
    return line;
}

void ExpectClose(double expected, double actual, const std::string& what)
{
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what << " got " << actual;
        return;
    }
    EXPECT_LE(std::fabs(actual - expected), 1e-9 * std::fabs(expected))
        << what << " expected " << expected << " got " << actual;
}

class CounterStabilityThroughProgram : public ::testing::Test {
protected:
    static constexpr std::int64_t kHour = 300, kDay = 1000;

    CounterStabilityThroughProgram()
        : m_profile(CProfile::InMemory()), m_program(m_host, m_unitDevice, m_profile),
          m_counter(m_host, m_counterDevice, Options()),
          m_stability(m_registry, "/dev/ttyS0", "/dev/ttyACM0", kHour, kDay)
    {
        m_program.Session().AddObserver(m_stability);
        m_counter.AddObserver(m_stability);
        m_host.m_nTick = 100000;
        m_program.Session().DispatchSentence("PRID,16,600-1000-01");
    }
    static CCounterOptions Options()
    {
        CCounterOptions options;
        options.m_strDevice = "/dev/ttyACM0";
        options.m_format = CounterFormat::Timestamp;
        return options;
    }
    void At(std::uint64_t tick)
    {
        m_host.m_nTick = tick;
        m_stability.OnTick(tick);
        if (const auto measured = m_stability.Measured()) m_measured[measured->m_llSecond] = *measured;
    }
    void Unit(int s, char state)
    {
        char time[64];
        std::snprintf(time, sizeof time, "TIME,2010,045,13,%02d,%02d,2,3,%c", s / 60, s % 60, state);
        m_program.Session().DispatchSentence("TIMD,3");
        m_program.Session().DispatchSentence(time);
    }
    void Counter(const std::string& lines)
    {
        m_counter.FeedBytes(reinterpret_cast<const std::uint8_t*>(lines.data()), lines.size());
    }

    CFakeHost m_host;
    CFakeSerialDevice m_unitDevice, m_counterDevice;
    CProfile m_profile;
    CProgram m_program;
    CCounterSession m_counter;
    prometheus::Registry m_registry;
    CCounterStability m_stability;
    std::map<std::int64_t, CCounterStability::CMeasured> m_measured;
};

TEST_F(CounterStabilityThroughProgram, JoinedSecondsSegmentsAndTheMeasuredHoldoverError)
{
    // Locked from 0, holdover 700..759, recovering at 760, locked again from
    // 761 (settled from 821). The counter's phase: wandering frequency and
    // white noise in its 10 ps steps, slips of 5 us at 400 (in lock) and 740
    // (in holdover), no lines at 200 and 201, no chB at 250.
    constexpr int kSeconds = 1000;
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<std::int64_t> phasePs(kSeconds);
    double frequency = 2e-11, phase = 40e-9;
    for (int s = 0; s < kSeconds; ++s) {
        frequency += 1e-12 * gauss(random);
        phase += frequency;
        const double slips = (s >= 400 ? 5e-6 : 0.0) + (s >= 740 ? 5e-6 : 0.0);
        phasePs[s] = 10 * std::llround((phase + slips + 50e-12 * gauss(random)) * 1e11);
    }
    const auto state = [](int s) { return s >= 700 && s < 760 ? '2' : s == 760 ? '3' : '1'; };
    const auto settled = [](int s) { return s >= 60 && s < 700 ? true : s >= 821; };
    // The counter's lines come 40 ms after the report, or (every seventh
    // second) 40 ms before it. At 500 they come 400 ms early, and 501's
    // 900 ms early, 100 ms after 500's report: both join 500, where 501's is
    // the nearer. At 610 they come 300 ms late and 611's 650 ms early: both
    // join 610, where 610's own is the nearer. At 650 they come 450 ms late.
    const auto offset = [](int s) {
        switch (s) {
        case 500: return -400;
        case 501: return -900;
        case 610: return 300;
        case 611: return -650;
        case 650: return 450;
        default: return s % 7 == 0 ? -40 : 40;
        }
    };
    const auto joined = [](int s) { return s != 200 && s != 201 && s != 250 && s != 501 && s != 611; };
    const auto phaseAt = [&phasePs](int s) { return phasePs[s == 500 ? 501 : s]; };
    // Whichever sample wins must show.
    ASSERT_NE(phasePs[500], phasePs[501]);
    ASSERT_NE(phasePs[610], phasePs[611]);

    const std::int64_t base = 100000;
    for (int s = 0; s < kSeconds; ++s) {
        const std::int64_t report = base + 1000 * s;
        const std::int64_t b = (s + 1) * 1000000000000LL + 250000000000LL;
        std::string lines;
        if (s != 200 && s != 201) lines = Timestamp(b + phasePs[s], 'A') + (s == 250 ? "" : Timestamp(b, 'B'));
        if (offset(s) < 0) {
            At(report + offset(s));
            Counter(lines);
            At(report);
            Unit(s, state(s));
        } else {
            At(report);
            Unit(s, state(s));
            At(report + offset(s));
            Counter(lines);
        }
        // A poll between seconds: what it finalises must not miss a sample
        // still waiting for its own join.
        if (std::min(offset(s + 1), 0) > -300) At(report + 700);
        if (s == 720) {
            const std::string text = Scrape(m_registry);
            EXPECT_NE(text.find("velmor_holdover_measured_time_error_seconds{counter=\"/dev/ttyACM0\",device=\"/dev/"
                                "ttyS0\",source=\"counter\"}"),
                      std::string::npos)
                << text;
            EXPECT_NE(text.find("velmor_adev{counter=\"/dev/ttyACM0\",device=\"/dev/ttyS0\",source=\"counter\","
                                "tau_seconds=\"10\",window=\"1h\"}"),
                      std::string::npos)
                << text;
        }
    }
    At(base + 1000 * kSeconds + 2000);
    EXPECT_EQ(m_stability.Seconds(), static_cast<std::uint64_t>(kSeconds));
    EXPECT_EQ(m_stability.JoinedSeconds(), static_cast<std::uint64_t>(kSeconds - 5));
    EXPECT_EQ(m_counter.Tracker().Slips(), 2u);

    // The measured error: from the last settled second (699) to each
    // holdover second, until the slip at 740 makes them incomparable.
    const std::int64_t t0 = UnitSecondsCount(2010, "045:13:00:00").value_or(0);
    ASSERT_TRUE(m_measured.count(t0 + 700) && m_measured.count(t0 + 739));
    for (const auto& [unitSecond, measured] : m_measured) {
        const std::int64_t second = unitSecond - t0;
        EXPECT_GE(second, 700);
        EXPECT_LT(second, 740);
        EXPECT_EQ(measured.m_llReferenceSecond - t0, 699);
        EXPECT_DOUBLE_EQ(measured.m_dValue, static_cast<double>(phasePs[second] - phasePs[699]) * 1e-12) << second;
    }
    EXPECT_EQ(Scrape(m_registry).find("velmor_holdover_measured_time_error_seconds{"), std::string::npos);

    // The batch estimators over the settled, joined runs, split at the slip.
    for (LiveWindow window : kLiveWindows) {
        const std::int64_t oldest = kSeconds - 1 - m_stability.Live().WindowSeconds(window);
        std::vector<std::vector<double>> segments;
        bool open = false;
        for (int s = 0; s < kSeconds; ++s) {
            if (s <= oldest || !settled(s) || !joined(s)) {
                open = false;
                continue;
            }
            if (!open || s == 400) segments.emplace_back();
            open = true;
            segments.back().push_back(static_cast<double>(phaseAt(s)) * 1e-12);
        }
        std::vector<std::size_t> factors(std::begin(CLiveStability::kReportedTaus),
                                         std::end(CLiveStability::kReportedTaus));
        factors.insert(factors.end(), {2, 4, 64, 256});
        std::sort(factors.begin(), factors.end());
        CTauChoice taus;
        taus.m_spacing = TauSpacing::List;
        taus.m_anMultiples = factors;
        const auto batch = ComputeSegmentedStability(segments, SeriesKind::Phase, 1.0, taus);
        ASSERT_EQ(batch.size(), factors.size());
        for (std::size_t i = 0; i < factors.size(); ++i) {
            const std::size_t m = factors[i];
            const std::string what = std::string(WindowName(window)) + " m=" + std::to_string(m);
            const CStabilityPoint point = m_stability.Live().Deviation(window, m);
            ExpectClose(batch[i].m_adev.m_dValue, point.m_adev.m_dValue, "ADEV " + what);
            ExpectClose(batch[i].m_tdev.m_dValue, point.m_tdev.m_dValue, "TDEV " + what);
            EXPECT_EQ(batch[i].m_adev.m_nTerms, point.m_adev.m_nTerms) << what;
            double mtie = kNaN;
            for (const auto& segment : segments) {
                const std::size_t one[] = {m};
                const CWindowSpread spread = MaxTimeIntervalErrors(segment, one)[0];
                if (spread.m_nWindows > 0) mtie = std::isnan(mtie) ? spread.m_dSpread : std::max(mtie, spread.m_dSpread);
            }
            ExpectClose(mtie, m_stability.Live().Mtie(window, m), "MTIE " + what);
        }
    }
    // The slip is no wander: a second's MTIE stays far below its 5 us.
    EXPECT_LT(m_stability.Live().Mtie(LiveWindow::Day, 1), 1e-7);
}

}  // namespace
}  // namespace velmor
