#include "stability/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "stability/Confidence.h"
#include "stability/NoiseId.h"
#include "stability/TimeError.h"

namespace velmor {

namespace {

constexpr std::size_t Index(Statistic s)
{
    return static_cast<std::size_t>(s);
}

CEstimate FromDeviation(const CDeviation& dev)
{
    CEstimate e;
    e.m_dValue = dev.m_dValue;
    e.m_nTerms = dev.m_nTerms;
    return e;
}

// One segment ready for the estimators, in scaled units.
struct CSegment {
    std::vector<double> m_phase;     // for the deviations (frequency input: mean frequency out)
    std::vector<double> m_tiePhase;  // for TIE and MTIE when it differs from m_phase
    const std::vector<double>& TiePhase() const { return m_tiePhase.empty() ? m_phase : m_tiePhase; }
};

}  // namespace

const char* StatisticName(Statistic statistic)
{
    switch (statistic) {
    case Statistic::Adev: return "adev";
    case Statistic::Mdev: return "mdev";
    case Statistic::Tdev: return "tdev";
    case Statistic::Hdev: return "hdev";
    case Statistic::Totdev: return "totdev";
    case Statistic::TieRms: return "tierms";
    case Statistic::Mtie: return "mtie";
    }
    return "?";
}

bool HasConfidenceInterval(Statistic statistic)
{
    return statistic != Statistic::TieRms && statistic != Statistic::Mtie;
}

std::size_t LargestMultiple(Statistic statistic, std::size_t n)
{
    if (n < 2) return 0;
    switch (statistic) {
    case Statistic::Adev:
    case Statistic::Totdev: return (n - 1) / 2;
    case Statistic::Mdev:
    case Statistic::Tdev: return n / 3;
    case Statistic::Hdev: return (n - 1) / 3;
    case Statistic::TieRms:
    case Statistic::Mtie: return n - 1;
    }
    return 0;
}

CAnalysis Analyse(const std::vector<std::span<const double>>& pieces, const CAnalysisRequest& request)
{
    CAnalysis out;
    out.m_drift = request.m_drift;
    const double tau0 = request.m_dTau0;
    if (!IsUsableInterval(tau0)) return out;
    const auto wants = [&](Statistic s) { return request.m_abStatistics[Index(s)]; };

    std::vector<std::span<const double>> finite;
    for (std::span<const double> piece : pieces) {
        for (std::span<const double> part : SplitAtGaps(piece)) finite.push_back(part);
    }
    const bool frequency = request.m_kind == SeriesKind::Frequency;
    const bool timeErrors = wants(Statistic::TieRms) || wants(Statistic::Mtie);
    const int exponent = MagnitudeExponent(finite);
    std::vector<CSegment> segments(finite.size());
    std::size_t longest = 0;
    std::size_t longestIndex = 0;
    CDriftFit longestFit;
    for (std::size_t k = 0; k < finite.size(); ++k) {
        std::vector<double> values = ScaledCopy(finite[k], exponent);
        const CDriftFit fit = RemoveDrift(values, request.m_kind, request.m_drift);
        CSegment& segment = segments[k];
        if (frequency) {
            if (timeErrors) {
                // The phase itself, frequency offset included.
                segment.m_tiePhase.reserve(values.size() + 1);
                long double x = 0.0L;
                segment.m_tiePhase.push_back(0.0);
                for (double y : values) {
                    x += y;
                    segment.m_tiePhase.push_back(static_cast<double>(x));
                }
            }
            segment.m_phase = FrequencyToPhase(values, 1.0);
        } else {
            segment.m_phase = std::move(values);
        }
        if (segment.m_phase.size() > longest) {
            longest = segment.m_phase.size();
            longestIndex = k;
            longestFit = fit;
        }
    }
    out.m_nSegments = segments.size();
    // Fractional frequency per scaled unit and sample -> per second.
    const long double scale = std::ldexp(1.0L, exponent);
    if (frequency) {
        out.m_dFrequencyOffset = static_cast<double>(longestFit.m_dOffset * scale);
        out.m_dDriftPerSecond = static_cast<double>(longestFit.m_dSlope * scale / tau0);
    } else {
        out.m_dFrequencyOffset = static_cast<double>(longestFit.m_dOffset * scale / tau0);
        out.m_dDriftPerSecond = static_cast<double>(longestFit.m_dSlope * scale / tau0 / tau0);
    }
    if (longest < 3) return out;
    const long double unit = scale * (frequency ? static_cast<long double>(tau0) : 1.0L);

    std::size_t largestAll = 0;
    for (std::size_t s = 0; s < kStatisticCount; ++s) {
        if (request.m_abStatistics[s]) largestAll = std::max(largestAll, LargestMultiple(Statistic(s), longest));
    }
    const std::vector<std::size_t> multiples = ChooseTauMultiples(longest, request.m_taus, largestAll);

    std::vector<CWindowSpread> spreads(multiples.size());
    if (wants(Statistic::Mtie)) {
        for (const CSegment& segment : segments) {
            const std::vector<CWindowSpread> own = MaxTimeIntervalErrors(segment.TiePhase(), multiples);
            for (std::size_t k = 0; k < own.size(); ++k) {
                spreads[k].m_dSpread = std::max(spreads[k].m_dSpread, own[k].m_dSpread);
                spreads[k].m_nWindows += own[k].m_nWindows;
            }
        }
    }
    const bool allanFamily = wants(Statistic::Adev) || wants(Statistic::Mdev) || wants(Statistic::Tdev)
                             || wants(Statistic::Hdev) || request.m_bConfidence;

    out.m_rows.reserve(multiples.size());
    std::optional<int> previousAlpha;
    for (std::size_t k = 0; k < multiples.size(); ++k) {
        const std::size_t m = multiples[k];
        CAnalysisRow row;
        row.m_nMultiple = m;
        row.m_dTau = static_cast<double>(m) * tau0;
        CStabilitySums sums;
        if (allanFamily) {
            for (const CSegment& segment : segments) sums += AccumulateStabilitySums(segment.m_phase, m);
        } else {
            // Only the Allan term count, for the n column.
            for (const CSegment& segment : segments) {
                const std::size_t n = segment.m_phase.size();
                if (m > 0 && n >= 3 && m <= (n - 1) / 2) sums.m_nAllan += n - 2 * m;
            }
        }
        const CStabilityPoint point = FinishStabilityPoint(sums, m, tau0, unit);
        row.m_nTerms = sums.m_nAllan;
        if (allanFamily) {
            row.m_estimates[Index(Statistic::Adev)] = FromDeviation(point.m_adev);
            row.m_estimates[Index(Statistic::Mdev)] = FromDeviation(point.m_mdev);
            row.m_estimates[Index(Statistic::Tdev)] = FromDeviation(point.m_tdev);
            row.m_estimates[Index(Statistic::Hdev)] = FromDeviation(point.m_hdev);
        }
        const long double tau = static_cast<long double>(m) * tau0;
        if (wants(Statistic::Totdev)) {
            CSquareSums total;
            for (const CSegment& segment : segments) total += AccumulateTotalSums(segment.m_phase, m);
            CEstimate& e = row.m_estimates[Index(Statistic::Totdev)];
            e.m_nTerms = total.m_nTerms;
            if (total.m_nTerms > 0) {
                e.m_dValue = static_cast<double>(
                    std::sqrt(total.m_ldSum / (2.0L * total.m_nTerms)) * unit / tau);
            }
        }
        if (wants(Statistic::TieRms)) {
            CSquareSums tie;
            for (const CSegment& segment : segments) tie += AccumulateTieSums(segment.TiePhase(), m);
            CEstimate& e = row.m_estimates[Index(Statistic::TieRms)];
            e.m_nTerms = tie.m_nTerms;
            if (tie.m_nTerms > 0) e.m_dValue = static_cast<double>(std::sqrt(tie.m_ldSum / tie.m_nTerms) * unit);
        }
        if (wants(Statistic::Mtie)) {
            CEstimate& e = row.m_estimates[Index(Statistic::Mtie)];
            e.m_nTerms = spreads[k].m_nWindows;
            if (e.m_nTerms > 0) e.m_dValue = static_cast<double>(spreads[k].m_dSpread * unit);
        }
        if (request.m_bConfidence) {
            const double ratio = point.m_mdev.m_dValue / point.m_adev.m_dValue;
            row.m_alpha = IdentifyNoise(segments[longestIndex].m_phase, m, ratio * ratio, previousAlpha);
            if (row.m_alpha) previousAlpha = row.m_alpha;
            if (row.m_alpha) {
                for (Statistic s : {Statistic::Adev, Statistic::Mdev, Statistic::Tdev, Statistic::Hdev,
                                    Statistic::Totdev}) {
                    CEstimate& e = row.m_estimates[Index(s)];
                    if (!wants(s) || !std::isfinite(e.m_dValue)) continue;
                    const EdfEstimator estimator = s == Statistic::Adev     ? EdfEstimator::Allan
                                                   : s == Statistic::Hdev   ? EdfEstimator::Hadamard
                                                   : s == Statistic::Totdev ? EdfEstimator::Total
                                                                            : EdfEstimator::Modified;
                    double edf = 0.0;
                    for (const CSegment& segment : segments) {
                        const double own =
                            EquivalentDegreesOfFreedom(estimator, *row.m_alpha, m, segment.m_phase.size());
                        if (std::isfinite(own)) edf += own;
                    }
                    if (edf <= 0.0) continue;
                    e.m_dEdf = edf;
                    const CInterval interval = ChiSquaredInterval(e.m_dValue, edf, request.m_dConfidence);
                    e.m_dLow = interval.m_dLow;
                    e.m_dHigh = interval.m_dHigh;
                }
            }
        }
        out.m_rows.push_back(row);
    }
    return out;
}

std::string FormatAnalysisTable(const CAnalysis& analysis, const CAnalysisRequest& request)
{
    std::string table;
    char text[160];
    const auto value = [&](double v) {
        if (std::isnan(v)) {
            table += " nan";
            return;
        }
        std::snprintf(text, sizeof text, " %.6e", v);
        table += text;
    };
    if (analysis.m_drift == DriftRemoval::Linear) {
        std::snprintf(text, sizeof text, "# drift removed: linear, frequency offset %.6e, drift %.6e /s",
                      analysis.m_dFrequencyOffset, analysis.m_dDriftPerSecond);
        table += text;
    } else if (analysis.m_drift == DriftRemoval::Mean) {
        std::snprintf(text, sizeof text, "# drift removed: mean frequency %.6e", analysis.m_dFrequencyOffset);
        table += text;
    }
    if (analysis.m_drift != DriftRemoval::None) {
        if (analysis.m_nSegments > 1) {
            table += " (longest of " + std::to_string(analysis.m_nSegments) + " segments, each fitted)";
        }
        table += '\n';
    }
    const bool bounds = request.m_bConfidence;
    table += "tau n";
    if (bounds) table += " alpha";
    for (std::size_t s = 0; s < kStatisticCount; ++s) {
        if (!request.m_abStatistics[s]) continue;
        const std::string name = StatisticName(Statistic(s));
        table += ' ' + name;
        if (bounds && HasConfidenceInterval(Statistic(s))) table += ' ' + name + "_lo " + name + "_hi";
    }
    table += '\n';
    for (const CAnalysisRow& row : analysis.m_rows) {
        std::snprintf(text, sizeof text, "%.10g %zu", row.m_dTau, row.m_nTerms);
        table += text;
        if (bounds) table += row.m_alpha ? ' ' + std::to_string(*row.m_alpha) : std::string(" nan");
        for (std::size_t s = 0; s < kStatisticCount; ++s) {
            if (!request.m_abStatistics[s]) continue;
            const CEstimate& e = row.m_estimates[s];
            value(e.m_dValue);
            if (bounds && HasConfidenceInterval(Statistic(s))) {
                value(e.m_dLow);
                value(e.m_dHigh);
            }
        }
        table += '\n';
    }
    return table;
}

}  // namespace velmor
