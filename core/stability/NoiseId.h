#pragma once
// The dominant power-law noise at one averaging time, as the integer alpha of
// S_y(f) ~ f^alpha: 2 white PM, 1 flicker PM, 0 white FM, -1 flicker FM,
// -2 random-walk FM.
//
// Where at least 30 points remain after taking every m-th phase sample, the
// lag-1 autocorrelation method (Riley and Greenhall): a quadratic is fitted
// out of the decimated phase, and while the lag-1 autocorrelation r1 gives
// delta = r1 / (1 + r1) >= 0.25 the series is differenced again (at most
// twice); then p = -2 (delta + d) estimates the phase spectrum's exponent and
// alpha = round(p) + 2.
//
// With fewer points but at least 8 non-overlapping averages, the B1 ratio: the standard variance of the M
// non-overlapping frequency averages over the non-overlapping Allan variance,
// compared with its expected value B1(M, mu) = M (1 - M^mu) / (2 (M - 1)
// (1 - 2^mu)) for mu = 1, 0, -1, -2 (random-walk, flicker, white FM, PM), the
// boundaries being the geometric means of neighbours. PM noise is then told
// apart by R(n) = MVAR / AVAR, which is 1/m for white PM and about
// 3.37 / (1.038 + 3 ln(pi m)) for flicker PM.
//
// With fewer than 8 averages the B1 ratio scatters too widely to tell
// neighbouring noise types apart; the noise type found at the next shorter
// tau of the table carries on there (noise types change slowly with tau),
// and only without one is the B1 ratio used anyway.

#include <cstddef>
#include <optional>
#include <span>

namespace velmor {

// Fewer decimated points than this fall back to the B1 ratio.
constexpr std::size_t kAutocorrelationMinPoints = 30;
// Fewer non-overlapping averages than this keep the previous tau's type.
constexpr std::size_t kB1MinAverages = 8;

// The lag-1 autocorrelation estimate of alpha, unrounded (p + 2); empty when
// the decimated series has fewer than |minPoints| points or no variation.
std::optional<double> AutocorrelationAlpha(std::span<const double> phase, std::size_t m,
                                           std::size_t minPoints = kAutocorrelationMinPoints);

// The B1-ratio choice; |modifiedOverAllan| is MVAR/AVAR at this m (NaN when
// unknown: PM is then reported as flicker PM). Empty with fewer than two
// non-overlapping averages or a zero Allan variance.
std::optional<int> B1RatioAlpha(std::span<const double> phase, std::size_t m, double modifiedOverAllan);

// The noise type at averaging factor m of a contiguous phase segment;
// |previous| is the type found at the table's next shorter tau, if any.
std::optional<int> IdentifyNoise(std::span<const double> phase, std::size_t m, double modifiedOverAllan,
                                 std::optional<int> previous = std::nullopt);

}  // namespace velmor
