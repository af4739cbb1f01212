// The stability table of a month of one-second samples (2.6 million points):
// all four deviations at every octave averaging time up to a quarter of the
// data, from phase and from frequency; and the full lab table, all seven
// statistics with noise type and confidence bounds.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "stability/Analysis.h"
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

// ADEV, MDEV, TDEV, HDEV, TOTDEV, TIE rms and MTIE at octave taus with the
// noise type, EDF and chi-squared bounds (--stats all seven --ci).
void BM_AnalysisAllSevenOctaveWithBounds(benchmark::State& state)
{
    const bool phase = state.range(0) == 0;
    const std::vector<double>& series = phase ? MonthOfPhase() : MonthOfFrequency();
    CAnalysisRequest request;
    request.m_kind = phase ? SeriesKind::Phase : SeriesKind::Frequency;
    request.m_abStatistics.fill(true);
    request.m_bConfidence = true;
    std::size_t taus = 0;
    for (auto _ : state) {
        const CAnalysis analysis = Analyse({series}, request);
        taus = analysis.m_rows.size();
        benchmark::DoNotOptimize(analysis.m_rows.data());
    }
    state.counters["taus"] = static_cast<double>(taus);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(series.size()));
}
BENCHMARK(BM_AnalysisAllSevenOctaveWithBounds)->Arg(0)->Arg(1)->ArgNames({"frequency"})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmor
