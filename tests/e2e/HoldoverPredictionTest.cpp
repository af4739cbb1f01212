// The stability metrics on the real program against the simulated unit with
// an aging crystal, at --speed: once GPS is taken away (SIGUSR1) the
// predicted holdover time error follows half the aging times t squared,
// learnt from the DAC's trend during the lock.

#include <gtest/gtest.h>

#include <signal.h>

#include <cmath>
#include <sstream>

#include <prometheus/text_serializer.h>

#include "StabilityMetrics.h"
#include "e2e/UnitSimSession.h"

namespace velmor::e2e {
namespace {

// The value of the series written exactly as |series|; NaN when absent.
double SeriesValue(prometheus::Registry& registry, const std::string& series)
{
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, registry.Collect());
    const std::string text = out.str();
    const std::size_t at = text.find("\n" + series + " ");
    return at == std::string::npos ? std::nan("") : std::atof(text.c_str() + at + series.size() + 2);
}

TEST(HoldoverPrediction, FollowsTheSimulatedAging)
{
    // 1e-6 per day, 1.157e-11 per second. A fast loop settles at once and
    // lags the drift little; no other noise to blur the fit.
    constexpr double kAgingPerSecond = 1e-6 / 86400.0;
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--type", "16", "--speed", "40", "--warmup", "2", "--aging", "1e-6",
                           "--loop-time", "10", "--pps-noise", "0.5", "--freq-walk", "0", "--temp-coeff", "0"}));
    CSession session(sim.DevicePath());
    prometheus::Registry registry;
    CStabilityMetrics stability(registry, "unit", {"unit", 2e-12});
    session.m_program.Session().AddObserver(stability);
    const CReadings& readings = session.m_program.Session().Readings();

    // The unit's first frequency estimate ends its first 600 s of lock;
    // before it the unit reports a placeholder no prediction may start from.
    ASSERT_TRUE(session.RunUntil(
        [&] { return readings.m_frequencyError.m_value && std::fabs(*readings.m_frequencyError.m_value) < 1e-9; },
        120000));
    // By then the hour's statistics exist, labelled, up to 100 s; no
    // prediction while locked.
    const std::string labels = "device=\"unit\",source=\"unit\"";
    EXPECT_GT(SeriesValue(registry, "velmor_adev{" + labels + ",tau_seconds=\"100\",window=\"1h\"}"), 0.0);
    EXPECT_GT(SeriesValue(registry, "velmor_mask_margin_ratio{device=\"unit\",mask=\"g8272_prtc_a\",source=\"unit\","
                                    "statistic=\"mtie\",window=\"24h\"}"),
              0.0);
    const std::string predicted = "velmor_holdover_predicted_time_error_seconds{" + labels + "}";
    EXPECT_TRUE(std::isnan(SeriesValue(registry, predicted)));

    ASSERT_TRUE(sim.Signal(SIGUSR1));
    ASSERT_TRUE(session.RunUntil(
        [&] { return readings.m_coastDurationS.m_value && *readings.m_coastDurationS.m_value >= 300; }, 120000));
    const double t = *readings.m_coastDurationS.m_value;
    const double value = SeriesValue(registry, predicted);
    // The unit's coasting count and the prediction's seconds agree to a
    // second or so.
    const double expected = 0.5 * kAgingPerSecond * t * t;
    EXPECT_NEAR(value, expected, 0.1 * expected + 20e-9) << "t=" << t;
    // The simulated unit reports its true phase while coasting: the
    // prediction misses only the frequency the loop's lag held back at
    // entry (1.4 aging L t, about 10 % here).
    ASSERT_TRUE(readings.m_ppsOffsetNs.m_value);
    EXPECT_NEAR(value, *readings.m_ppsOffsetNs.m_value * 1e-9, 0.2 * expected + 20e-9);
    session.m_program.Session().RemoveObserver(stability);
}

}  // namespace
}  // namespace velmor::e2e
