#include "stability/Stability.h"

#include <algorithm>
#include <cmath>

namespace velmor {

namespace {

// Fewer phase points than this give no Allan term at any averaging time.
constexpr std::size_t kMinPhasePoints = 3;

CDeviation MakeDeviation(long double variance, std::size_t terms)
{
    CDeviation dev;
    dev.m_nTerms = terms;
    if (terms == 0) return dev;
    const long double value = std::sqrt(variance);
    const long double spread = value / std::sqrt(static_cast<long double>(terms));
    dev.m_dValue = static_cast<double>(value);
    dev.m_dLow = static_cast<double>(std::max(0.0L, value - spread));
    dev.m_dHigh = static_cast<double>(value + spread);
    return dev;
}

}  // namespace

bool IsUsableInterval(double tau0)
{
    // A subnormal interval has lost its precision already, and its square
    // would be zero.
    return std::isnormal(tau0) && tau0 > 0.0;
}

int MagnitudeExponent(const std::vector<std::span<const double>>& pieces)
{
    double largest = 0.0;
    for (std::span<const double> piece : pieces) {
        for (double v : piece) {
            if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
        }
    }
    if (largest == 0.0) return 0;
    int exponent = 0;
    std::frexp(largest, &exponent);
    return exponent;
}

std::vector<double> ScaledCopy(std::span<const double> values, int exponent)
{
    std::vector<double> scaled(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) scaled[i] = std::ldexp(values[i], -exponent);
    return scaled;
}

namespace {

// Splits every piece at its gaps, brings the values to a magnitude near 1 by
// a power of two (exact, so the figures are those of the unscaled data),
// turns frequency into phase, and evaluates the chosen averaging factors over
// all resulting phase segments.
std::vector<CStabilityPoint> ComputeOverPieces(const std::vector<std::span<const double>>& pieces,
                                               SeriesKind kind, double tau0, const CTauChoice& taus)
{
    if (!IsUsableInterval(tau0)) return {};
    std::vector<std::span<const double>> finite;
    for (std::span<const double> piece : pieces) {
        for (std::span<const double> part : SplitAtGaps(piece)) finite.push_back(part);
    }
    const int exponent = MagnitudeExponent(finite);
    std::vector<std::vector<double>> phase;
    phase.reserve(finite.size());
    for (std::span<const double> part : finite) {
        std::vector<double> scaled = ScaledCopy(part, exponent);
        phase.push_back(kind == SeriesKind::Frequency ? FrequencyToPhase(scaled, 1.0) : std::move(scaled));
    }
    // Seconds per unit of the scaled phase.
    const long double unit =
        std::ldexp(1.0L, exponent) * (kind == SeriesKind::Frequency ? static_cast<long double>(tau0) : 1.0L);
    std::size_t longest = 0;
    for (const std::vector<double>& part : phase) longest = std::max(longest, part.size());
    if (longest < kMinPhasePoints) return {};

    std::vector<CStabilityPoint> points;
    for (std::size_t m : ChooseTauMultiples(longest, taus)) {
        CStabilitySums sums;
        for (const std::vector<double>& part : phase) sums += AccumulateStabilitySums(part, m);
        points.push_back(FinishStabilityPoint(sums, m, tau0, unit));
    }
    return points;
}

}  // namespace

CStabilitySums& CStabilitySums::operator+=(const CStabilitySums& other)
{
    m_ldAllan += other.m_ldAllan;
    m_ldModified += other.m_ldModified;
    m_ldHadamard += other.m_ldHadamard;
    m_nAllan += other.m_nAllan;
    m_nModified += other.m_nModified;
    m_nHadamard += other.m_nHadamard;
    return *this;
}

std::vector<double> FrequencyToPhase(std::span<const double> frequency, double tau0)
{
    std::vector<double> phase;
    phase.reserve(frequency.size() + 1);
    phase.push_back(0.0);
    if (frequency.empty()) return phase;
    long double mean = 0.0L;
    for (double y : frequency) mean += y;
    mean /= static_cast<long double>(frequency.size());
    long double x = 0.0L;
    for (double y : frequency) {
        x += (y - mean) * tau0;
        phase.push_back(static_cast<double>(x));
    }
    return phase;
}

std::vector<std::span<const double>> SplitAtGaps(std::span<const double> series)
{
    std::vector<std::span<const double>> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= series.size(); ++i) {
        if (i < series.size() && std::isfinite(series[i])) continue;
        if (i > start) parts.push_back(series.subspan(start, i - start));
        start = i + 1;
    }
    return parts;
}

std::vector<std::size_t> ChooseTauMultiples(std::size_t phasePoints, const CTauChoice& taus)
{
    return ChooseTauMultiples(phasePoints, taus, phasePoints < 1 ? 0 : (phasePoints - 1) / 2);
}

std::vector<std::size_t> ChooseTauMultiples(std::size_t phasePoints, const CTauChoice& taus, std::size_t largestAll)
{
    std::vector<std::size_t> multiples;
    if (phasePoints < kMinPhasePoints) return multiples;
    if (taus.m_spacing == TauSpacing::All) {
        for (std::size_t m = 1; m <= largestAll; ++m) multiples.push_back(m);
        return multiples;
    }
    if (taus.m_spacing == TauSpacing::List) {
        for (std::size_t m : taus.m_anMultiples) {
            if (m > 0) multiples.push_back(m);
        }
        std::sort(multiples.begin(), multiples.end());
        multiples.erase(std::unique(multiples.begin(), multiples.end()), multiples.end());
        return multiples;
    }
    const std::size_t limit = std::max<std::size_t>(1, phasePoints / 4);
    if (taus.m_spacing == TauSpacing::Octave) {
        for (std::size_t m = 1;; m *= 2) {
            multiples.push_back(m);
            if (m > limit / 2) break;
        }
        return multiples;
    }
    static constexpr std::size_t kSteps[] = {1, 2, 5};
    for (std::size_t decade = 1;; decade *= 10) {
        for (std::size_t step : kSteps) {
            if (step * decade <= limit) multiples.push_back(step * decade);
        }
        if (decade > limit / 10) break;
    }
    return multiples;
}

CStabilitySums AccumulateStabilitySums(std::span<const double> phase, std::size_t m)
{
    CStabilitySums sums;
    const std::size_t n = phase.size();
    // Written as divisions so that a huge m cannot wrap the products around.
    if (m == 0 || n < kMinPhasePoints || m > (n - 1) / 2) return sums;
    const double* x = phase.data();
    // Differences of neighbours first: each subtraction is then exact or
    // rounds relative to a difference, never to the phase itself, so a large
    // phase offset or frequency offset costs no precision.
    const auto allanTerm = [x, m](std::size_t i) {
        return (x[i + 2 * m] - x[i + m]) - (x[i + m] - x[i]);
    };

    // The modified term w_j is a window of m Allan terms; each step of the
    // window adds a_(j+m) - a_j, which is the Hadamard term h_j. One pass
    // over the data therefore feeds all three sums while the Hadamard terms
    // last, and the Allan sum alone after that. The window runs over the
    // whole record, so it is kept in long double.
    const std::size_t allanTerms = n - 2 * m;
    const bool hasModified = m <= n / 3;
    const std::size_t hadamardTerms = hasModified ? n - 3 * m : 0;
    long double window = 0.0L;
    if (hasModified) {
        for (std::size_t i = 0; i < m; ++i) window += allanTerm(i);
    }
    long double allan = 0.0L;
    long double modified = window * window;
    long double hadamard = 0.0L;
    for (std::size_t j = 0; j < hadamardTerms; ++j) {
        const double a = allanTerm(j);
        const double h = allanTerm(j + m) - a;
        allan += static_cast<long double>(a) * a;
        hadamard += static_cast<long double>(h) * h;
        window += h;
        modified += window * window;
    }
    for (std::size_t i = hadamardTerms; i < allanTerms; ++i) {
        const double a = allanTerm(i);
        allan += static_cast<long double>(a) * a;
    }
    sums.m_ldAllan = allan;
    sums.m_nAllan = allanTerms;
    if (hasModified) {
        sums.m_ldModified = modified;
        sums.m_nModified = hadamardTerms + 1;
        sums.m_ldHadamard = hadamard;
        sums.m_nHadamard = hadamardTerms;
    }
    return sums;
}

CStabilityPoint FinishStabilityPoint(const CStabilitySums& sums, std::size_t m, double tau0)
{
    return FinishStabilityPoint(sums, m, tau0, 1.0L);
}

CStabilityPoint FinishStabilityPoint(const CStabilitySums& sums, std::size_t m, double tau0, long double unit)
{
    CStabilityPoint point;
    point.m_nMultiple = m;
    point.m_dTau = static_cast<double>(m) * tau0;
    point.m_nTerms = sums.m_nAllan;
    const long double tau = static_cast<long double>(m) * tau0;
    const long double tau2 = tau * tau / (unit * unit);
    const long double m2 = static_cast<long double>(m) * m;
    if (sums.m_nAllan > 0) {
        point.m_adev = MakeDeviation(sums.m_ldAllan / (2.0L * tau2 * sums.m_nAllan), sums.m_nAllan);
    }
    if (sums.m_nModified > 0) {
        const long double mvar = sums.m_ldModified / (2.0L * m2 * tau2 * sums.m_nModified);
        point.m_mdev = MakeDeviation(mvar, sums.m_nModified);
        point.m_tdev = MakeDeviation(tau * tau / 3.0L * mvar, sums.m_nModified);
    }
    if (sums.m_nHadamard > 0) {
        point.m_hdev = MakeDeviation(sums.m_ldHadamard / (6.0L * tau2 * sums.m_nHadamard),
                                     sums.m_nHadamard);
    }
    return point;
}

std::vector<CStabilityPoint> ComputeStability(std::span<const double> series, SeriesKind kind,
                                              double tau0, const CTauChoice& taus)
{
    return ComputeOverPieces({series}, kind, tau0, taus);
}

std::vector<CStabilityPoint> ComputeSegmentedStability(const std::vector<std::vector<double>>& segments,
                                                       SeriesKind kind, double tau0,
                                                       const CTauChoice& taus)
{
    std::vector<std::span<const double>> pieces(segments.begin(), segments.end());
    return ComputeOverPieces(pieces, kind, tau0, taus);
}

}  // namespace velmor
