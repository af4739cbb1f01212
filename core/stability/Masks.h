#pragma once
// Telecom wander masks: the limits a clock's MTIE and TDEV must stay under,
// as piecewise functions of the observation interval tau, and the margin of a
// measured curve against one of them.
//
//   G.811 (primary reference clock), MTIE
//       0.275e-3 tau + 0.025 us   for 0.1 < tau <= 1000 s
//       1e-5 tau + 0.29 us        for tau > 1000 s
//   G.8272 PRTC-A, MTIE
//       0.275e-3 tau + 0.025 us   for 0.1 < tau <= 273 s
//       0.1 us                    for tau > 273 s
//   TDEV, both masks
//       3 ns                      for 0.1 < tau <= 100 s
//       0.03 tau ns               for 100 < tau <= 1000 s
//       30 ns                     for 1000 < tau <= 10000 s
//
// Outside those ranges a mask sets no limit (NaN).

#include <cstdint>
#include <span>

namespace velmor {

enum class WanderMask : std::uint8_t { G811, G8272PrtcA };
enum class WanderStatistic : std::uint8_t { Mtie, Tdev };

inline constexpr WanderMask kWanderMasks[] = {WanderMask::G811, WanderMask::G8272PrtcA};
inline constexpr WanderStatistic kWanderStatistics[] = {WanderStatistic::Mtie, WanderStatistic::Tdev};

// The label values the metrics use: "g811", "g8272_prtc_a"; "mtie", "tdev".
const char* MaskName(WanderMask mask);
const char* StatisticName(WanderStatistic statistic);

// The mask's limit at |tau| seconds, in seconds; NaN where it sets none.
double MaskLimit(WanderMask mask, WanderStatistic statistic, double tau);

struct CTauValue {
    double m_dTau = 0.0;    // seconds
    double m_dValue = 0.0;  // seconds; NaN when not measured
};

// The largest measured / limit over the points that have both a finite value
// and a limit; above 1 the mask is broken. NaN when no point counts.
double MaskMargin(WanderMask mask, WanderStatistic statistic, std::span<const CTauValue> measured);

}  // namespace velmor
