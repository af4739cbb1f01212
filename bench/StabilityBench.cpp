// The stability table of a month of one-second samples (2.6 million points):
// all four deviations at every octave averaging time up to a quarter of the
// data, from phase and from frequency.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "stability/Stability.h"

namespace velmor {
namespace {

constexpr std::size_t kMonthOfSeconds = 2'600'000;

// White frequency noise around a small offset, with white phase noise on top
// of its integral: what a disciplined oscillator's record roughly looks like.
const std::vector<double>& MonthOfFrequency()
{
    static const std::vector<double> series = [] {
        std::mt19937_64 rng(2026);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::vector<double> y(kMonthOfSeconds);
        for (double& v : y) v = 3e-12 + 1e-11 * noise(rng);
        return y;
    }();
    return series;
}

const std::vector<double>& MonthOfPhase()
{
    static const std::vector<double> series = [] {
        std::mt19937_64 rng(1207);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::vector<double> x = FrequencyToPhase(MonthOfFrequency(), 1.0);
        x.resize(kMonthOfSeconds);
        for (double& v : x) v += 2e-9 * noise(rng);
        return x;
    }();
    return series;
}

void BM_StabilityOctavePhase(benchmark::State& state)
{
    const std::vector<double>& phase = MonthOfPhase();
    std::size_t taus = 0;
    for (auto _ : state) {
        const std::vector<CStabilityPoint> points = ComputeStability(phase, SeriesKind::Phase, 1.0, CTauChoice{});
        taus = points.size();
        benchmark::DoNotOptimize(points.data());
    }
    state.counters["taus"] = static_cast<double>(taus);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(phase.size()));
}
BENCHMARK(BM_StabilityOctavePhase)->Unit(benchmark::kMillisecond);

void BM_StabilityOctaveFrequency(benchmark::State& state)
{
    const std::vector<double>& frequency = MonthOfFrequency();
    for (auto _ : state) {
        const std::vector<CStabilityPoint> points =
            ComputeStability(frequency, SeriesKind::Frequency, 1.0, CTauChoice{});
        benchmark::DoNotOptimize(points.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frequency.size()));
}
BENCHMARK(BM_StabilityOctaveFrequency)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmor
