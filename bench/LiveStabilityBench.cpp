// The live statistics' cost per unit second with both windows full (a day of
// samples kept), and the cost of reading every exported figure once (what
// the monitor does after each sample).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "stability/LiveStability.h"

namespace velmor {
namespace {

// A disciplined unit's 1PPS: white phase noise of 3 ns on a slow wander.
class CPhaseSource {
public:
    double Next()
    {
        m_dWander += 2e-12 * m_gauss(m_random);
        m_dWander *= 0.999;
        return m_dWander + 3e-9 * m_gauss(m_random);
    }

private:
    std::mt19937_64 m_random{2026};
    std::normal_distribution<double> m_gauss{0.0, 1.0};
    double m_dWander = 0.0;
};

// Two days of samples already fed, shared by the benchmarks; |second| is the
// next unit second.
struct CFullDay {
    CLiveStability m_live;
    CPhaseSource m_source;
    std::int64_t m_llSecond = 1'700'000'000;
    CFullDay()
    {
        for (int i = 0; i < 2 * 86400; ++i) m_live.Add(m_llSecond++, m_source.Next(), true);
    }
};

CFullDay& FullDay()
{
    static CFullDay day;
    return day;
}

void BM_LiveStabilityAddSample(benchmark::State& state)
{
    CFullDay& day = FullDay();
    for (auto _ : state) day.m_live.Add(day.m_llSecond++, day.m_source.Next(), true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LiveStabilityAddSample);

void BM_LiveStabilityReadFigures(benchmark::State& state)
{
    const CLiveStability& live = FullDay().m_live;
    for (auto _ : state) {
        double sum = 0.0;
        for (LiveWindow window : kLiveWindows) {
            for (std::size_t tau : CLiveStability::kReportedTaus) {
                const CStabilityPoint point = live.Deviation(window, tau);
                sum += point.m_adev.m_dValue + point.m_tdev.m_dValue + live.Mtie(window, tau);
            }
            for (WanderMask mask : kWanderMasks)
                for (WanderStatistic statistic : kWanderStatistics) sum += live.Margin(mask, statistic, window);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_LiveStabilityReadFigures);

}  // namespace
}  // namespace velmor
