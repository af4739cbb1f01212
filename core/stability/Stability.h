#pragma once
// Frequency-stability statistics over sampled data: the overlapping Allan
// deviation (ADEV), the modified Allan deviation (MDEV), the time deviation
// (TDEV) and the overlapping Hadamard deviation (HDEV), at averaging times
// tau = m * tau0.
//
// Input is phase x (seconds) sampled every tau0 seconds, or fractional
// frequency y averaged over tau0, which is turned into phase first. For
// averaging factor m over N phase points the estimators use
//
//   Allan term     a_i = x[i+2m] - 2 x[i+m] + x[i]                N-2m terms
//   Hadamard term  h_i = x[i+3m] - 3 x[i+2m] + 3 x[i+m] - x[i]    N-3m terms
//   modified term  w_j = a_j + ... + a_(j+m-1)                     N-3m+1 terms
//
//   ADEV^2 = sum a^2 / (2 tau^2 nA)      HDEV^2 = sum h^2 / (6 tau^2 nH)
//   MDEV^2 = sum w^2 / (2 m^2 tau^2 nM)  TDEV   = tau / sqrt(3) * MDEV
//
// Each averaging time costs O(N): h_j = a_(j+m) - a_j is also the step from
// w_j to w_(j+1), so one pass yields all three kinds of term. The terms are
// formed as differences of neighbouring differences, which round relative to
// those differences and not to the phase, so a large phase or frequency
// offset costs no precision; the sums and the running window are long double.
//
// Magnitude: before any arithmetic the values are multiplied by the power of
// two that brings the largest of them into [0.5, 1). That is exact, so the
// figures equal those of the unscaled data, but neither a square of 1e300
// overflows nor one of 1e-300 underflows; the result is scaled back in long
// double at the end.
//
// Records have gaps (link losses, restarts, unlocked periods). A term must not
// straddle a gap, so the estimators work on segments: each segment gives its
// sums of squared terms and term counts, which add up over segments before the
// division. A non-finite sample (NaN, infinity) never reaches the arithmetic:
// it ends the segment it is in.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace velmor {

enum class SeriesKind : std::uint8_t {
    Phase,      // time error in seconds, one sample per tau0
    Frequency,  // fractional frequency, each sample the average over tau0
};

enum class TauSpacing : std::uint8_t {
    Octave,  // m = 1, 2, 4, 8, ...
    Decade,  // m = 1, 2, 5, 10, 20, 50, ...
    List,    // the multiples in CTauChoice::m_anMultiples
    All,     // every m the estimators allow (m = 1, 2, 3, ...)
};

// Which averaging factors m (tau = m * tau0) to evaluate. Octave and Decade
// stop at a quarter of the longest segment's phase points (m <= N/4, at least
// m = 1): there ADEV still has N/2 terms and MDEV and HDEV have N/4, so every
// estimator has data at every default tau. A List is taken as given (sorted,
// without duplicates or zeros), also beyond the data, where the deviations
// come out NaN. All runs to the largest m of the overlapping Allan deviation,
// (N - 1) / 2, here; the analysis table takes each statistic's own limit.
struct CTauChoice {
    TauSpacing m_spacing = TauSpacing::Octave;
    std::vector<std::size_t> m_anMultiples;
};

// One deviation at one averaging time. The interval is the rough 1-sigma
// bound value * (1 -/+ 1/sqrt(terms)); it treats the overlapping terms as
// independent, so it understates the uncertainty at large m.
struct CDeviation {
    double m_dValue = std::numeric_limits<double>::quiet_NaN();
    std::size_t m_nTerms = 0;
    double m_dLow = std::numeric_limits<double>::quiet_NaN();
    double m_dHigh = std::numeric_limits<double>::quiet_NaN();
};

struct CStabilityPoint {
    std::size_t m_nMultiple = 0;  // m
    double m_dTau = 0.0;          // m * tau0, seconds
    std::size_t m_nTerms = 0;     // overlapping Allan terms (m_adev.m_nTerms)
    CDeviation m_adev;
    CDeviation m_mdev;
    CDeviation m_tdev;  // seconds; same terms as m_mdev
    CDeviation m_hdev;
};

// Sums of squared terms and their counts for one averaging factor; they add
// over segments.
struct CStabilitySums {
    long double m_ldAllan = 0.0L;
    long double m_ldModified = 0.0L;
    long double m_ldHadamard = 0.0L;
    std::size_t m_nAllan = 0;
    std::size_t m_nModified = 0;
    std::size_t m_nHadamard = 0;

    CStabilitySums& operator+=(const CStabilitySums& other);
};

// Phase (seconds) from fractional frequency: N frequency samples give N + 1
// phase points, x[0] = 0 and x[i+1] = x[i] + (y[i] - mean(y)) * tau0. Taking
// out the mean frequency changes none of the deviations (they ignore a
// constant frequency offset) but keeps the phase small, so it stays precise
// in a double. The values must be finite.
std::vector<double> FrequencyToPhase(std::span<const double> frequency, double tau0);

// Cuts a series at its non-finite samples; empty pieces are dropped.
std::vector<std::span<const double>> SplitAtGaps(std::span<const double> series);

// The averaging factors to evaluate when the longest segment holds
// |phasePoints| phase points (none below 3 points, which give no term).
std::vector<std::size_t> ChooseTauMultiples(std::size_t phasePoints, const CTauChoice& taus);
// The same with All running to |largestAll|.
std::vector<std::size_t> ChooseTauMultiples(std::size_t phasePoints, const CTauChoice& taus, std::size_t largestAll);

// The squared terms of one contiguous, finite phase segment at factor m.
CStabilitySums AccumulateStabilitySums(std::span<const double> phase, std::size_t m);

// Turns the accumulated sums into deviations. |unit| is the number of seconds
// per unit of the phase the sums were taken over (see MagnitudeExponent).
CStabilityPoint FinishStabilityPoint(const CStabilitySums& sums, std::size_t m, double tau0);
CStabilityPoint FinishStabilityPoint(const CStabilitySums& sums, std::size_t m, double tau0, long double unit);

// A sample interval the estimators accept: positive, finite and normal (a
// subnormal one has already lost its precision).
bool IsUsableInterval(double tau0);

// The binary exponent e of the largest finite magnitude in |pieces|
// (2^(e-1) <= max |v| < 2^e), 0 when all are zero. Dividing by 2^e is exact.
int MagnitudeExponent(const std::vector<std::span<const double>>& pieces);

// |values| times 2^-exponent.
std::vector<double> ScaledCopy(std::span<const double> values, int exponent);

// All four deviations of one series at the chosen averaging times. Empty when
// tau0 is not a positive, finite, normal number or no segment has 3 phase
// points.
std::vector<CStabilityPoint> ComputeStability(std::span<const double> series, SeriesKind kind,
                                              double tau0, const CTauChoice& taus);

// The same over separate segments (each contiguous; frequency segments are
// turned into phase one by one), combining their terms.
std::vector<CStabilityPoint> ComputeSegmentedStability(const std::vector<std::vector<double>>& segments,
                                                       SeriesKind kind, double tau0,
                                                       const CTauChoice& taus);

}  // namespace velmor
