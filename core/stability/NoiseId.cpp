#include "stability/NoiseId.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "stability/Drift.h"

namespace velmor {

namespace {

// Lag-1 autocorrelation of a series about its mean; NaN without variation.
double LagOneAutocorrelation(const std::vector<double>& v)
{
    long double mean = 0.0L;
    for (double x : v) mean += x;
    mean /= static_cast<long double>(v.size());
    long double lagged = 0.0L;
    long double squares = 0.0L;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const long double d = v[i] - mean;
        squares += d * d;
        if (i + 1 < v.size()) lagged += d * (v[i + 1] - mean);
    }
    return squares > 0.0L ? static_cast<double>(lagged / squares) : std::nan("");
}

// B1(M, mu), the expected ratio of the standard to the Allan variance of M
// samples for sigma_y^2 ~ tau^mu.
double ExpectedB1(double count, int mu)
{
    if (mu == 0) return count * std::log(count) / (2.0 * (count - 1.0) * std::numbers::ln2);
    return count * (1.0 - std::pow(count, mu)) / (2.0 * (count - 1.0) * (1.0 - std::pow(2.0, mu)));
}

}  // namespace

std::optional<double> AutocorrelationAlpha(std::span<const double> phase, std::size_t m, std::size_t minPoints)
{
    if (m == 0 || phase.empty()) return std::nullopt;
    const std::size_t count = (phase.size() - 1) / m + 1;
    if (count < minPoints || count < 3) return std::nullopt;
    std::vector<double> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = phase[i * m];
    RemovePolynomial(v, 2);
    constexpr int kMaxDifferences = 2;
    for (int d = 0;; ++d) {
        const double r1 = LagOneAutocorrelation(v);
        if (std::isnan(r1)) return std::nullopt;
        const double delta = r1 / (1.0 + r1);
        if (delta < 0.25 || d >= kMaxDifferences || v.size() < 4) return -2.0 * (delta + d) + 2.0;
        for (std::size_t i = 0; i + 1 < v.size(); ++i) v[i] = v[i + 1] - v[i];
        v.pop_back();
    }
}

std::optional<int> B1RatioAlpha(std::span<const double> phase, std::size_t m, double modifiedOverAllan)
{
    // Written as a division so that a huge m cannot wrap the product.
    if (m == 0 || phase.size() < 3 || m > (phase.size() - 1) / 2) return std::nullopt;
    const std::size_t count = (phase.size() - 1) / m;  // non-overlapping averages
    long double mean = 0.0L;
    for (std::size_t k = 0; k < count; ++k) mean += phase[(k + 1) * m] - phase[k * m];
    mean /= static_cast<long double>(count);
    long double spread = 0.0L;
    for (std::size_t k = 0; k < count; ++k) {
        const long double d = phase[(k + 1) * m] - phase[k * m] - mean;
        spread += d * d;
    }
    long double allan = 0.0L;
    std::size_t terms = 0;
    for (std::size_t i = 0; i + 2 * m < phase.size(); i += m, ++terms) {
        const long double a = (static_cast<long double>(phase[i + 2 * m]) - phase[i + m]) - (phase[i + m] - phase[i]);
        allan += a * a;
    }
    if (allan <= 0.0L || terms == 0) return std::nullopt;
    const double b1 = static_cast<double>((spread / static_cast<long double>(count - 1))
                                          / (allan / (2.0L * static_cast<long double>(terms))));
    const double n = static_cast<double>(count);
    static constexpr int kMu[] = {1, 0, -1, -2};
    static constexpr int kAlpha[] = {-2, -1, 0};
    for (int k = 0; k < 3; ++k) {
        if (b1 > std::sqrt(ExpectedB1(n, kMu[k]) * ExpectedB1(n, kMu[k + 1]))) return kAlpha[k];
    }
    // PM: white PM's R(n) is 1/m, flicker PM's much larger.
    if (!std::isfinite(modifiedOverAllan) || m < 2) return 1;
    const double white = 1.0 / static_cast<double>(m);
    const double flicker = 3.37 / (1.038 + 3.0 * std::log(std::numbers::pi * static_cast<double>(m)));
    return modifiedOverAllan > std::sqrt(white * flicker) ? 1 : 2;
}

std::optional<int> IdentifyNoise(std::span<const double> phase, std::size_t m, double modifiedOverAllan,
                                 std::optional<int> previous)
{
    if (const std::optional<double> alpha = AutocorrelationAlpha(phase, m)) {
        const double rounded = std::round(*alpha);
        return static_cast<int>(std::fmax(-2.0, std::fmin(2.0, rounded)));
    }
    if (previous && m > 0 && !phase.empty() && (phase.size() - 1) / m < kB1MinAverages) return previous;
    return B1RatioAlpha(phase, m, modifiedOverAllan);
}

}  // namespace velmor
