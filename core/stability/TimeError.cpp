#include "stability/TimeError.h"

#include <algorithm>
#include <bit>
#include <numeric>

namespace velmor {

CSquareSums AccumulateTieSums(std::span<const double> phase, std::size_t m)
{
    CSquareSums sums;
    const std::size_t n = phase.size();
    if (m == 0 || m >= n) return sums;
    long double sum = 0.0L;
    for (std::size_t i = 0; i + m < n; ++i) {
        const double d = phase[i + m] - phase[i];
        sum += static_cast<long double>(d) * d;
    }
    sums.m_ldSum = sum;
    sums.m_nTerms = n - m;
    return sums;
}

CSquareSums AccumulateTotalSums(std::span<const double> phase, std::size_t m)
{
    CSquareSums sums;
    const std::size_t n = phase.size();
    if (m == 0 || n < 3 || m > (n - 1) / 2) return sums;
    const double* x = phase.data();
    const double first = x[0];
    const double last = x[n - 1];
    long double sum = 0.0L;
    const auto add = [&sum](double before, double centre, double after) {
        const double a = (after - centre) - (centre - before);
        sum += static_cast<long double>(a) * a;
    };
    // Terms at i = 1 .. n-2: x*(i-m) - 2 x(i) + x*(i+m). Since 2m <= n - 1,
    // at most one end of a term is reflected: the left one while i < m, the
    // right one once i + m > n - 1.
    std::size_t i = 1;
    for (; i < m; ++i) add(2.0 * first - x[m - i], x[i], x[i + m]);
    for (; i + m <= n - 1 && i <= n - 2; ++i) add(x[i - m], x[i], x[i + m]);
    for (; i <= n - 2; ++i) add(x[i - m], x[i], 2.0 * last - x[2 * (n - 1) - (i + m)]);
    sums.m_ldSum = sum;
    sums.m_nTerms = n - 2;
    return sums;
}

std::vector<CWindowSpread> MaxTimeIntervalErrors(std::span<const double> phase, std::span<const std::size_t> multiples)
{
    std::vector<CWindowSpread> result(multiples.size());
    const std::size_t n = phase.size();
    std::vector<std::size_t> order(multiples.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return multiples[a] < multiples[b]; });

    // hi[i] and lo[i]: max and min of phase[i .. i + width - 1], valid for
    // i + width <= n; width doubles as the levels are built.
    std::vector<double> hi(phase.begin(), phase.end());
    std::vector<double> lo(phase.begin(), phase.end());
    std::size_t width = 1;
    for (std::size_t k : order) {
        const std::size_t m = multiples[k];
        if (m == 0 || m >= n) continue;
        const std::size_t points = m + 1;
        const std::size_t level = std::bit_floor(points);
        while (width < level) {
            // In place: hi[i + width] is read before it is updated.
            for (std::size_t i = 0; i + 2 * width <= n; ++i) {
                hi[i] = std::max(hi[i], hi[i + width]);
                lo[i] = std::min(lo[i], lo[i + width]);
            }
            width *= 2;
        }
        const std::size_t shift = points - width;
        double worst = 0.0;
        for (std::size_t i = 0; i + points <= n; ++i) {
            const double top = std::max(hi[i], hi[i + shift]);
            const double bottom = std::min(lo[i], lo[i + shift]);
            worst = std::max(worst, top - bottom);
        }
        result[k].m_dSpread = worst;
        result[k].m_nWindows = n - m;
    }
    return result;
}

}  // namespace velmor
