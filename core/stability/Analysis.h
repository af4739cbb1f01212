#pragma once
// The stability table a lab report needs: at each averaging time the chosen
// statistics (ADEV, MDEV, TDEV, HDEV, TOTDEV, TIE rms, MTIE), optionally the
// dominant noise type and chi-squared confidence bounds from each
// estimator's equivalent degrees of freedom, after an optional drift removal.
//
// The record is one or more contiguous segments (non-finite samples cut them
// further). Drift is fitted and removed per segment. Terms never straddle a
// segment boundary: sums and counts add over segments, MTIE is the worst
// segment's, the EDF of a deviation is the sum of its segments' EDFs, and the
// noise type is identified on the longest segment.

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "stability/Drift.h"
#include "stability/Stability.h"

namespace velmor {

enum class Statistic : std::uint8_t { Adev, Mdev, Tdev, Hdev, Totdev, TieRms, Mtie };
constexpr std::size_t kStatisticCount = 7;

// "adev", "mdev", "tdev", "hdev", "totdev", "tierms", "mtie".
const char* StatisticName(Statistic statistic);
// TIE rms and MTIE have no confidence interval here.
bool HasConfidenceInterval(Statistic statistic);
// The largest averaging factor a statistic has a term at, over N points.
std::size_t LargestMultiple(Statistic statistic, std::size_t phasePoints);

struct CAnalysisRequest {
    SeriesKind m_kind = SeriesKind::Phase;
    double m_dTau0 = 1.0;
    CTauChoice m_taus;
    // Which statistics, indexed by Statistic.
    std::array<bool, kStatisticCount> m_abStatistics{true, true, true, true, false, false, false};
    bool m_bConfidence = false;  // noise type and bounds
    double m_dConfidence = 0.683;
    DriftRemoval m_drift = DriftRemoval::None;
};

struct CEstimate {
    double m_dValue = std::numeric_limits<double>::quiet_NaN();  // deviation, or seconds for TIE/MTIE/TDEV
    std::size_t m_nTerms = 0;
    double m_dEdf = std::numeric_limits<double>::quiet_NaN();
    double m_dLow = std::numeric_limits<double>::quiet_NaN();
    double m_dHigh = std::numeric_limits<double>::quiet_NaN();
};

struct CAnalysisRow {
    std::size_t m_nMultiple = 0;
    double m_dTau = 0.0;
    std::size_t m_nTerms = 0;  // overlapping Allan terms
    std::optional<int> m_alpha;
    std::array<CEstimate, kStatisticCount> m_estimates;

    const CEstimate& operator[](Statistic s) const { return m_estimates[static_cast<std::size_t>(s)]; }
};

struct CAnalysis {
    std::vector<CAnalysisRow> m_rows;  // empty: bad tau0 or too few points
    // The removed drift of the longest segment, as fractional frequency at
    // its first sample and its rate per second.
    DriftRemoval m_drift = DriftRemoval::None;
    double m_dFrequencyOffset = 0.0;
    double m_dDriftPerSecond = 0.0;
    std::size_t m_nSegments = 0;
};

CAnalysis Analyse(const std::vector<std::span<const double>>& pieces, const CAnalysisRequest& request);

// The table as text, the same for the command line and the desktop's copy:
//
//   [# drift removed: linear, frequency offset %.6e, drift %.6e /s]
//   [# drift removed: mean frequency %.6e]
//   tau n [alpha] X [X_lo X_hi] ...
//
// one X per chosen statistic in the order adev mdev tdev hdev totdev tierms
// mtie; alpha and the bounds only when the request asks for confidence
// (bounds not for tierms and mtie); tau as %.10g, values as %.6e, "nan"
// where there is none. With several segments the drift line says its
// figures are the longest segment's.
std::string FormatAnalysisTable(const CAnalysis& analysis, const CAnalysisRequest& request);

}  // namespace velmor
