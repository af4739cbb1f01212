// The simulated unit's clock model, run in-process for days of its seconds.
// The checks are statistical but the seeds are fixed, and every bound has
// a wide margin over what the model gives, so they fail only when the shape
// of the noise is wrong, not when an estimate wobbles.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "../../tools/unitsim/SimOscillator.h"

namespace velmor {
namespace {

// Overlapping Allan deviation of phase samples one second apart, at tau = m s.
double OverlappingAdev(const std::vector<double>& phase, std::size_t m)
{
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i + 2 * m < phase.size(); ++i) {
        const double d = phase[i + 2 * m] - 2 * phase[i + m] + phase[i];
        sum += d * d;
        ++count;
    }
    return std::sqrt(sum / (2.0 * static_cast<double>(count))) / static_cast<double>(m);
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const double n = static_cast<double>(a.size());
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) ma += a[i] / n, mb += b[i] / n;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

TEST(SimOscillatorTest, LockedPhaseIsWhiteAtShortTausAndFlattensFurtherOut)
{
    for (std::uint32_t seed : {1u, 7u}) {
        CSimOscillator clock(CSimNoiseConfig{}, seed);
        clock.Align();
        std::vector<double> measured;
        double worst = 0;
        for (int i = 0; i < 40000; ++i) {
            clock.Step(true, true, false);
            measured.push_back(clock.MeasuredNs());
            worst = std::max(worst, std::fabs(clock.PhaseNs()));
        }
        const double adev1 = OverlappingAdev(measured, 1);
        // White phase noise: the deviation falls as 1/tau, so tau * ADEV stays put...
        EXPECT_NEAR(adev1 / OverlappingAdev(measured, 16), 16.0, 3.0) << "seed " << seed;
        EXPECT_NEAR(256 * OverlappingAdev(measured, 256) / adev1, 1.0, 0.3) << "seed " << seed;
        // ...until the oscillator's own wander shows, short of the loop's time.
        EXPECT_GT(2048 * OverlappingAdev(measured, 2048) / adev1, 1.5) << "seed " << seed;
        // 3 ns rms of receiver noise is sqrt(3) * 3 ns of second differences.
        EXPECT_NEAR(adev1, std::sqrt(3.0) * 3.0, 0.5);
        // Locked, the loop keeps the true phase bounded.
        EXPECT_LT(worst, 60.0) << "seed " << seed;
    }
}

TEST(SimOscillatorTest, HoldoverFreezesTheDacAndLetsThePhaseWalkUntilTheLoopCloses)
{
    CSimOscillator clock(CSimNoiseConfig{}, 3);
    clock.Align();
    for (int i = 0; i < 5000; ++i) clock.Step(true, true, false);

    clock.Step(false, false, false);
    const double dac = clock.Dac();
    double worst = 0;
    for (int i = 0; i < 86400; ++i) {
        clock.Step(false, false, false);
        ASSERT_EQ(clock.Dac(), dac);
        worst = std::max(worst, std::fabs(clock.PhaseNs()));
    }
    EXPECT_GT(worst, 150.0);

    // GPS back, far off: the loop pulls the phase in over a few of its time constants.
    clock.Align();
    for (int i = 0; i < 10000; ++i) clock.Step(true, true, false);
    double sum = 0;
    for (int i = 0; i < 1000; ++i) {
        clock.Step(true, true, false);
        sum += std::fabs(clock.PhaseNs());
    }
    EXPECT_LT(sum / 1000, 30.0);
}

TEST(SimOscillatorTest, EstimateAndDacFollowTheModel)
{
    CSimNoiseConfig config;
    config.m_dFreqWalk = 0;
    config.m_dPpsNoiseNs = 0.5;
    CSimOscillator clock(config, 5);
    clock.Align();
    for (int i = 0; i < 6000; ++i) clock.Step(true, true, false);
    double estimate = 0, stdError = 0;
    ASSERT_TRUE(clock.EstimateFrequency(estimate, stdError));
    ASSERT_FALSE(clock.EstimateFrequency(estimate, stdError)) << "the samples start afresh";

    // Two days: the loop cancels the temperature, so the DAC mirrors it
    // (a positive coefficient lowers the DAC as the oven warms).
    std::vector<double> dac, temperature;
    for (int i = 0; i < 2 * 86400; ++i) {
        clock.Step(true, true, false);
        if (i % 60 == 0) {
            dac.push_back(clock.Dac());
            temperature.push_back(clock.Temperature());
        }
    }
    EXPECT_LT(Correlation(dac, temperature), -0.9);

    // Over 600 samples of white phase noise alone the slope's standard error
    // is sigma / sqrt(n (n^2 - 1) / 12).
    CSimNoiseConfig quiet;
    quiet.m_dFreqWalk = 0;
    quiet.m_dTempCoeff = 0;
    CSimOscillator steady(quiet, 9);
    steady.Align();
    // Let the loop settle from the stored DAC value first.
    for (int i = 0; i < 5000; ++i) steady.Step(true, true, false);
    steady.EstimateFrequency(estimate, stdError);
    const double expected = 3e-9 / std::sqrt(600.0 * (600.0 * 600.0 - 1) / 12.0);
    for (int cycle = 0; cycle < 5; ++cycle) {
        for (int i = 0; i < 600; ++i) steady.Step(true, true, false);
        ASSERT_TRUE(steady.EstimateFrequency(estimate, stdError));
        EXPECT_NEAR(stdError, expected, 0.25 * expected) << "cycle " << cycle;
        EXPECT_LT(std::fabs(estimate), 5 * expected) << "cycle " << cycle;
    }
}

}  // namespace
}  // namespace velmor

namespace velmor {
namespace {

TEST(SimOscillatorTest, AgingRampsTheDacInLockAndCurvesThePhaseInHoldover)
{
    // 1e-7 per day, nothing else moving. Locked, the DAC ramps against the
    // drift at aging / gain steps per second, and the loop lags it by a
    // steady phase of aging / omega^2. Coasting, the phase runs off as half
    // the aging times t squared, plus the frequency the proportional term
    // held back at entry: 2 zeta omega times that lag, 1.4 aging L.
    CSimNoiseConfig config;
    config.m_dFreqWalk = 0;
    config.m_dTempCoeff = 0;
    config.m_dPpsNoiseNs = 0;
    config.m_dLoopSeconds = 100;
    config.m_dAgingPerDay = 1e-7;
    const double aging = 1e-7 / 86400;
    CSimOscillator clock(config, 4);
    clock.Align();
    for (int i = 0; i < 3000; ++i) clock.Step(true, true, false);
    const double before = clock.Dac();
    for (int i = 0; i < 1000; ++i) clock.Step(true, true, false);
    EXPECT_NEAR(before - clock.Dac(), 1000 * aging / CSimOscillator::kDacGain, 1.0);
    EXPECT_NEAR(clock.PhaseNs(), aging * 100 * 100 * 1e9, 0.5);

    const double entry = clock.PhaseNs();
    const double t = 3600;
    for (int i = 0; i < t; ++i) clock.Step(false, false, false);
    const double expected = (0.5 * aging * t * t + 1.4 * aging * 100 * t) * 1e9;  // 7.5 us + 0.58 us
    EXPECT_NEAR(clock.PhaseNs() - entry, expected, 0.01 * expected);
}

}  // namespace
}  // namespace velmor
