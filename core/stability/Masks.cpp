#include "stability/Masks.h"

#include <cmath>
#include <limits>

namespace velmor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMicro = 1e-6;
constexpr double kNano = 1e-9;

// The rising start both MTIE masks share.
double MtieRamp(double tau) { return (0.275e-3 * tau + 0.025) * kMicro; }

}  // namespace

const char* MaskName(WanderMask mask)
{
    return mask == WanderMask::G811 ? "g811" : "g8272_prtc_a";
}

const char* StatisticName(WanderStatistic statistic)
{
    return statistic == WanderStatistic::Mtie ? "mtie" : "tdev";
}

double MaskLimit(WanderMask mask, WanderStatistic statistic, double tau)
{
    if (!(tau > 0.1) || !std::isfinite(tau)) return kNaN;
    if (statistic == WanderStatistic::Tdev) {
        if (tau <= 100.0) return 3.0 * kNano;
        if (tau <= 1000.0) return 0.03 * tau * kNano;
        if (tau <= 10000.0) return 30.0 * kNano;
        return kNaN;
    }
    if (mask == WanderMask::G811) return tau <= 1000.0 ? MtieRamp(tau) : (1e-5 * tau + 0.29) * kMicro;
    return tau <= 273.0 ? MtieRamp(tau) : 0.1 * kMicro;
}

double MaskMargin(WanderMask mask, WanderStatistic statistic, std::span<const CTauValue> measured)
{
    double worst = kNaN;
    for (const CTauValue& point : measured) {
        const double limit = MaskLimit(mask, statistic, point.m_dTau);
        if (!std::isfinite(point.m_dValue) || !std::isfinite(limit)) continue;
        const double ratio = point.m_dValue / limit;
        if (std::isnan(worst) || ratio > worst) worst = ratio;
    }
    return worst;
}

}  // namespace velmor
