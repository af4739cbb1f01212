#include "stability/Drift.h"

namespace velmor {

std::vector<long double> RemovePolynomial(std::span<double> values, int degree)
{
    std::vector<long double> coefficients(3, 0.0L);
    const std::size_t n = values.size();
    if (n == 0 || degree < 0) return coefficients;
    const long double centre = (static_cast<long double>(n) - 1.0L) / 2.0L;
    // P0 = 1, P1 = t, P2 = t^2 - mean(t^2) with t = i - centre: orthogonal
    // over the symmetric grid, so each coefficient is a plain projection.
    long double t2mean = 0.0L;
    for (std::size_t i = 0; i < n; ++i) {
        const long double t = static_cast<long double>(i) - centre;
        t2mean += t * t;
    }
    t2mean /= static_cast<long double>(n);
    long double s0 = 0.0L, s1 = 0.0L, s2 = 0.0L, n1 = 0.0L, n2 = 0.0L;
    for (std::size_t i = 0; i < n; ++i) {
        const long double t = static_cast<long double>(i) - centre;
        const long double p2 = t * t - t2mean;
        s0 += values[i];
        s1 += values[i] * t;
        s2 += values[i] * p2;
        n1 += t * t;
        n2 += p2 * p2;
    }
    const long double b0 = s0 / static_cast<long double>(n);
    const long double b1 = degree >= 1 && n1 > 0.0L ? s1 / n1 : 0.0L;
    const long double b2 = degree >= 2 && n2 > 0.0L ? s2 / n2 : 0.0L;
    for (std::size_t i = 0; i < n; ++i) {
        const long double t = static_cast<long double>(i) - centre;
        values[i] = static_cast<double>(values[i] - (b0 + b1 * t + b2 * (t * t - t2mean)));
    }
    // In powers of i: b0 + b1 (i - c) + b2 ((i - c)^2 - t2mean).
    coefficients[0] = b0 - b1 * centre + b2 * (centre * centre - t2mean);
    coefficients[1] = b1 - 2.0L * b2 * centre;
    coefficients[2] = b2;
    return coefficients;
}

CDriftFit RemoveDrift(std::vector<double>& values, SeriesKind kind, DriftRemoval removal)
{
    CDriftFit fit;
    if (values.empty() || removal == DriftRemoval::None) return fit;
    const bool phase = kind == SeriesKind::Phase;
    if (removal == DriftRemoval::Linear) {
        const std::vector<long double> c = RemovePolynomial(values, phase ? 2 : 1);
        // Frequency: y = c0 + c1 i. Phase: x = c0 + c1 i + c2 i^2, whose
        // step from sample i to i + 1 is c1 + c2 (2 i + 1): the frequency
        // over that interval.
        fit.m_dOffset = static_cast<double>(phase ? c[1] + c[2] : c[0]);
        fit.m_dSlope = static_cast<double>(phase ? 2.0L * c[2] : c[1]);
        return fit;
    }
    if (phase) {
        if (values.size() < 2) return fit;
        const long double slope =
            (static_cast<long double>(values.back()) - values.front()) / static_cast<long double>(values.size() - 1);
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = static_cast<double>(values[i] - slope * static_cast<long double>(i));
        }
        fit.m_dOffset = static_cast<double>(slope);
        return fit;
    }
    long double mean = 0.0L;
    for (double v : values) mean += v;
    mean /= static_cast<long double>(values.size());
    for (double& v : values) v = static_cast<double>(v - mean);
    fit.m_dOffset = static_cast<double>(mean);
    return fit;
}

}  // namespace velmor
