// The stability metrics driven through the real program by the unit's time
// and 1PPS reports: the unit's seconds, when a lock counts as settled, which
// series exist when, and the holdover prediction's series coming and going.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include <prometheus/text_serializer.h>

#include "MonitorOptions.h"
#include "StabilityMetrics.h"
#include "app/Program.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

TEST(UnitSecondsCount, ConsecutiveAcrossMinutesDaysAndYears)
{
    const auto at = [](int year, const char* text) { return UnitSecondsCount(year, text).value_or(-1); };
    EXPECT_EQ(at(1970, "001:00:00:00"), 0);
    EXPECT_EQ(at(2026, "341:21:23:10"), 1796678590);  // 2026-12-07 21:23:10 UTC
    EXPECT_EQ(at(2026, "341:21:24:00") - at(2026, "341:21:23:59"), 1);
    EXPECT_EQ(at(2026, "342:00:00:00") - at(2026, "341:23:59:59"), 1);
    EXPECT_EQ(at(2025, "001:00:00:00") - at(2024, "366:23:59:59"), 1);  // a leap year's last day
    EXPECT_EQ(at(2101, "001:00:00:00") - at(2100, "365:23:59:59"), 1);  // 2100 is no leap year
    // A leap second reads as the next minute's first.
    EXPECT_EQ(at(2016, "366:23:59:60"), at(2017, "001:00:00:00"));
    for (const char* bad : {"", "341:21:23", "341-21:23:10", "367:00:00:00", "000:00:00:00", "341:24:00:00",
                            "341:21:60:00", "341:21:23:61", "34a:21:23:10"})
        EXPECT_FALSE(UnitSecondsCount(2026, bad)) << bad;
    EXPECT_FALSE(UnitSecondsCount(0, "001:00:00:00"));
}

TEST(StabilityOptions, DacGainFromTheCommandLineAndTheFile)
{
    CMonitorOptions options;
    std::string error;
    ASSERT_TRUE(ParseMonitorArgs({"--device", "/dev/ttyS0", "--dac-gain", "2e-12"}, options, error)) << error;
    EXPECT_DOUBLE_EQ(options.m_dDacGain, 2e-12);
    ASSERT_TRUE(ReadMonitorConfig("dac-gain=-1.5e-12\n", "unit.conf", options, error)) << error;
    EXPECT_DOUBLE_EQ(options.m_dDacGain, -1.5e-12);
    for (const char* bad : {"", "fast", "1e-3", "nan", "inf", "2e-12x"}) {
        CMonitorOptions refused;
        EXPECT_FALSE(ParseMonitorArgs({"--device", "/dev/ttyS0", "--dac-gain", bad}, refused, error)) << bad;
    }
}

class StabilityThroughProgram : public ::testing::Test {
protected:
    StabilityThroughProgram()
        : m_profile(CProfile::InMemory()), m_program(m_host, m_device, m_profile),
          m_stability(m_registry, "tcp://unit:2001")
    {
        m_program.Session().AddObserver(m_stability);
        Feed("PRID,16,600-1000-01");
    }
    std::string Scrape()
    {
        std::ostringstream out;
        prometheus::TextSerializer().Serialize(out, m_registry.Collect());
        return out.str();
    }
    void Feed(const std::string& body) { m_program.Session().DispatchSentence(body); }
    // One unit second |s| after 13:00:00 on day 45 of 2010: the 1PPS phase
    // (ns), then the time report with the discipline state.
    void Second(int s, int ppsNs, char state)
    {
        char time[64];
        std::snprintf(time, sizeof time, "TIME,2010,045,13,%02d,%02d,2,3,%c", s / 60, s % 60, state);
        Feed("TIMD," + std::to_string(ppsNs));
        Feed(time);
    }

    CFakeHost m_host;
    CFakeSerialDevice m_device;
    CProfile m_profile;
    CProgram m_program;
    prometheus::Registry m_registry;
    CStabilityMetrics m_stability;
};

TEST_F(StabilityThroughProgram, SeriesAppearOnSettledSecondsAndThePredictionOnlyInHoldover)
{
    const std::string labels = "device=\"tcp://unit:2001\",source=\"unit\"";
    // The lock's first minute is not settled yet: no statistics.
    for (int s = 0; s < 60; ++s) Second(s, s % 2 == 0 ? 0 : 10, '1');
    EXPECT_EQ(Scrape().find("velmor_mtie_seconds{"), std::string::npos) << Scrape();

    // Settled: a square wave of 10 ns gives MTIE 1e-8 at 1 and 10 s; the
    // hour and the day agree.
    for (int s = 60; s < 100; ++s) Second(s, s % 2 == 0 ? 0 : 10, '1');
    std::string text = Scrape();
    for (const char* window : {"1h", "24h"}) {
        for (const char* tau : {"1", "10"}) {
            const std::string series = "velmor_mtie_seconds{" + labels + ",tau_seconds=\"" + tau + "\",window=\"" +
                                       window + "\"} 1e-08";
            EXPECT_NE(text.find(series), std::string::npos) << series << "\n" << text;
        }
    }
    EXPECT_EQ(text.find("tau_seconds=\"100\""), std::string::npos) << "100 s needs more than 40 settled seconds";
    EXPECT_NE(text.find("velmor_mask_margin_ratio{device=\"tcp://unit:2001\",mask=\"g8272_prtc_a\",source=\"unit\","
                        "statistic=\"mtie\",window=\"1h\"} 0.3956"),
              std::string::npos)
        << text;  // 10 ns against 25.275 ns at 1 s
    EXPECT_EQ(text.find("velmor_holdover_predicted_time_error_seconds{"), std::string::npos);

    // Holdover: the prediction starts from the last settled phase and the
    // unit's latest frequency estimate, here one that came after the last
    // locked second's time report (no aging from a constant estimate).
    Feed("EFER,5.0E-09");
    Second(100, 10, '1');
    Feed("EFER,2.0E-11");
    for (int s = 101; s <= 200; ++s) Second(s, 0, '2');
    text = Scrape();
    EXPECT_NE(text.find("velmor_holdover_predicted_time_error_seconds{" + labels + "} 1.2e-08"), std::string::npos)
        << text;  // 10 ns + 2e-11 * 100 s
    // Recovering ends it; the statistics stay.
    Second(201, 0, '3');
    text = Scrape();
    EXPECT_EQ(text.find("velmor_holdover_predicted_time_error_seconds{"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_mtie_seconds{"), std::string::npos);
}

}  // namespace
}  // namespace velmor
