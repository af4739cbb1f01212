// The stability table against Stable32's published tables for PHASE.DAT
// (values, confidence bounds, noise type, TOTDEV, TIE rms, MTIE), the
// chi-squared quantile against closed forms, MTIE against the naive scan,
// the EDF's two evaluation regimes against each other, and drift removal.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "stability/Analysis.h"
#include "stability/Confidence.h"
#include "stability/Drift.h"
#include "stability/NoiseId.h"
#include "stability/TimeError.h"

namespace velmor {
namespace {

const std::string kDataDir = std::string(VELMOR_STABILITY_DATA_DIR) + "/phasedat/";

std::vector<double> ReadPhaseDat()
{
    std::ifstream in(kDataDir + "PHASE.DAT");
    std::vector<double> x;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        x.push_back(std::stod(line));
    }
    return x;
}

// The uncommented rows of a published table, as numbers.
std::vector<std::vector<double>> ReadTable(const std::string& name)
{
    std::ifstream in(kDataDir + "phase_dat_" + name + ".txt");
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<double> row;
        for (double v; fields >> v;) row.push_back(v);
        rows.push_back(row);
    }
    return rows;
}

// Printed to five significant digits: equal within half a unit of the fifth.
void ExpectPrinted(double ours, double printed)
{
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(printed))) - 4);
    EXPECT_LE(std::fabs(ours - printed), 0.5 * unit * (1 + 1e-9)) << "ours " << ours << ", printed " << printed;
}

CAnalysis AnalysePhaseDat(std::vector<Statistic> statistics, CTauChoice taus, bool confidence = true)
{
    static const std::vector<double> phase = ReadPhaseDat();
    CAnalysisRequest request;
    request.m_taus = std::move(taus);
    request.m_abStatistics = {};
    for (Statistic s : statistics) request.m_abStatistics[static_cast<std::size_t>(s)] = true;
    request.m_bConfidence = confidence;
    return Analyse({phase}, request);
}

const CAnalysisRow* FindRow(const CAnalysis& analysis, std::size_t m)
{
    for (const CAnalysisRow& row : analysis.m_rows) {
        if (row.m_nMultiple == m) return &row;
    }
    return nullptr;
}

struct CPublishedDeviation {
    const char* table;
    Statistic statistic;
    EdfEstimator estimator;
};

constexpr CPublishedDeviation kOctaveTables[] = {
    {"oadev_octave", Statistic::Adev, EdfEstimator::Allan},
    {"mdev_octave", Statistic::Mdev, EdfEstimator::Modified},
    {"tdev_octave", Statistic::Tdev, EdfEstimator::Modified},
    {"ohdev_octave", Statistic::Hdev, EdfEstimator::Hadamard},
    {"totdev_octave", Statistic::Totdev, EdfEstimator::Total},
};

TEST(StabilityAnalysisTest, PhaseDatOctaveTablesValuesBoundsAndAlpha)
{
    ASSERT_EQ(ReadPhaseDat().size(), 1001u);
    for (const CPublishedDeviation& published : kOctaveTables) {
        SCOPED_TRACE(published.table);
        const std::vector<std::vector<double>> table = ReadTable(published.table);
        ASSERT_GE(table.size(), 8u);
        CTauChoice taus{TauSpacing::List, {}};
        for (const std::vector<double>& row : table) taus.m_anMultiples.push_back(static_cast<std::size_t>(row[0]));
        const CAnalysis analysis = AnalysePhaseDat({published.statistic}, taus);
        ASSERT_EQ(analysis.m_rows.size(), table.size());
        for (std::size_t k = 0; k < table.size(); ++k) {
            const std::vector<double>& want = table[k];  // AF Tau # Alpha Min Sigma Max
            const std::size_t m = static_cast<std::size_t>(want[0]);
            SCOPED_TRACE(testing::Message() << "m = " << m);
            const CAnalysisRow& row = analysis.m_rows[k];
            const CEstimate& got = row[published.statistic];
            ExpectPrinted(got.m_dValue, want[5]);
            EXPECT_EQ(got.m_nTerms, static_cast<std::size_t>(want[2]));

            // The bounds at the published alpha: the EDF and chi-squared
            // machinery on its own, to 1e-3 of the published figures.
            const int alpha = static_cast<int>(want[3]);
            const double edf = EquivalentDegreesOfFreedom(published.estimator, alpha, m, 1001);
            const CInterval interval = ChiSquaredInterval(got.m_dValue, edf, 0.683);
            EXPECT_NEAR(interval.m_dLow / want[4], 1.0, 1e-3);
            EXPECT_NEAR(interval.m_dHigh / want[6], 1.0, 1e-3);

            // The noise type the table itself found (at m = 128 only seven
            // averages remain, and the type found at m = 64 carries on).
            ASSERT_TRUE(row.m_alpha.has_value());
            EXPECT_EQ(*row.m_alpha, alpha);
            EXPECT_NEAR(got.m_dLow / want[4], 1.0, 1e-3);
            EXPECT_NEAR(got.m_dHigh / want[6], 1.0, 1e-3);
        }
    }
}

TEST(StabilityAnalysisTest, PhaseDatAlphaAtEveryTau)
{
    // The published every-tau tables of the overlapping Allan family: the
    // lag-1 autocorrelation up to m = 34 (30 decimated points), the B1 ratio
    // while 8 or more averages remain, then the type carried on. All 139
    // published alphas but three agree; at those three the B1 ratio lies
    // within 3 % of a boundary between two types (0.831 against 0.847 at
    // m = 75, 1.379 against 1.359 at m = 93, 0.850 against 0.866 at
    // m = 113), and Stable32 chose white FM where we choose the neighbour.
    const CAnalysis analysis = AnalysePhaseDat({Statistic::Adev}, CTauChoice{TauSpacing::All, {}});
    for (const char* name : {"oadev", "mdev", "tdev", "ohdev"}) {
        SCOPED_TRACE(name);
        const std::vector<std::vector<double>> table = ReadTable(name);
        ASSERT_EQ(table.size(), 139u);
        std::vector<std::size_t> differ;
        for (const std::vector<double>& want : table) {
            const std::size_t m = static_cast<std::size_t>(want[0]);
            const CAnalysisRow* row = FindRow(analysis, m);
            ASSERT_NE(row, nullptr);
            ASSERT_TRUE(row->m_alpha.has_value()) << "m = " << m;
            if (*row->m_alpha != static_cast<int>(want[3])) differ.push_back(m);
        }
        EXPECT_EQ(differ, (std::vector<std::size_t>{75, 93, 113}));
    }
    for (const std::vector<double>& want : ReadTable("oadev")) {
        ExpectPrinted(FindRow(analysis, static_cast<std::size_t>(want[0]))->m_estimates[0].m_dValue, want[5]);
    }
}

TEST(StabilityAnalysisTest, PhaseDatTotdevTieRmsAndMtieToPrintPrecision)
{
    const std::vector<std::vector<double>> totdev = ReadTable("totdev");
    const std::vector<std::vector<double>> tierms = ReadTable("tierms");
    const std::vector<std::vector<double>> mtie = ReadTable("mtie");
    const CAnalysis analysis = AnalysePhaseDat({Statistic::Totdev, Statistic::TieRms, Statistic::Mtie},
                                               CTauChoice{TauSpacing::All, {}}, false);
    // "all" runs to the longest statistic's limit, N - 1 for MTIE.
    ASSERT_EQ(analysis.m_rows.size(), 1000u);
    for (const auto& [rows, statistic, countColumn, valueColumn] :
         {std::tuple{&totdev, Statistic::Totdev, 2, 5}, std::tuple{&tierms, Statistic::TieRms, 2, 3},
          std::tuple{&mtie, Statistic::Mtie, 2, 3}}) {
        ASSERT_GE(rows->size(), 9u);
        for (const std::vector<double>& want : *rows) {
            const std::size_t m = static_cast<std::size_t>(want[0]);
            SCOPED_TRACE(testing::Message() << StatisticName(statistic) << " m = " << m);
            const CAnalysisRow* row = FindRow(analysis, m);
            ASSERT_NE(row, nullptr);
            ExpectPrinted((*row)[statistic].m_dValue, want[valueColumn]);
            EXPECT_EQ((*row)[statistic].m_nTerms, static_cast<std::size_t>(want[countColumn]));
        }
    }
    // Beyond each statistic's own limit: no value.
    EXPECT_TRUE(std::isnan(FindRow(analysis, 501)->m_estimates[static_cast<std::size_t>(Statistic::Totdev)].m_dValue));
    EXPECT_TRUE(std::isfinite(FindRow(analysis, 1000)->m_estimates[static_cast<std::size_t>(Statistic::Mtie)].m_dValue));
}

double NaiveMtie(const std::vector<double>& x, std::size_t m)
{
    double worst = 0.0;
    for (std::size_t i = 0; i + m < x.size(); ++i) {
        const auto [lo, hi] = std::minmax_element(x.begin() + static_cast<std::ptrdiff_t>(i),
                                                  x.begin() + static_cast<std::ptrdiff_t>(i + m + 1));
        worst = std::max(worst, *hi - *lo);
    }
    return worst;
}

TEST(StabilityAnalysisTest, MtieEqualsTheNaiveScanOnRandomData)
{
    std::mt19937_64 rng(2112);
    for (int trial = 0; trial < 40; ++trial) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 300)(rng);
        std::vector<double> x(n);
        // Random walks and white noise with repeated values (ties).
        double walk = 0.0;
        for (double& v : x) {
            walk += std::normal_distribution<double>(0.0, 1.0)(rng);
            v = trial % 3 == 0 ? std::round(walk) : walk;
        }
        std::vector<std::size_t> multiples;
        for (int k = 0; k < 12; ++k) multiples.push_back(std::uniform_int_distribution<std::size_t>(0, n + 2)(rng));
        for (std::size_t m : {std::size_t{1}, n - 1, n, std::size_t{3}, std::size_t{7}}) multiples.push_back(m);
        const std::vector<CWindowSpread> got = MaxTimeIntervalErrors(x, multiples);
        ASSERT_EQ(got.size(), multiples.size());
        for (std::size_t k = 0; k < multiples.size(); ++k) {
            const std::size_t m = multiples[k];
            SCOPED_TRACE(testing::Message() << "n = " << n << " m = " << m);
            if (m == 0 || m >= n) {
                EXPECT_EQ(got[k].m_nWindows, 0u);
                continue;
            }
            EXPECT_EQ(got[k].m_dSpread, NaiveMtie(x, m));
            EXPECT_EQ(got[k].m_nWindows, n - m);
        }
    }
}

TEST(StabilityAnalysisTest, ChiSquaredQuantileMatchesClosedFormsAndInvertsTheCdf)
{
    for (double p : {1e-6, 0.1585, 0.5, 0.8415, 0.975, 1 - 1e-9}) {
        // Two degrees of freedom: the exponential, F(x) = 1 - exp(-x/2).
        EXPECT_NEAR(ChiSquaredQuantile(p, 2.0) / (-2.0 * std::log1p(-p)), 1.0, 1e-12) << p;
        // One degree: the square of a normal, F(x) = erf(sqrt(x/2)).
        const double x1 = ChiSquaredQuantile(p, 1.0);
        EXPECT_NEAR(std::erf(std::sqrt(x1 / 2.0)), p, 1e-12 * std::max(1.0, 1 / p)) << p;
        // Four: F(x) = 1 - exp(-x/2) (1 + x/2).
        const double x4 = ChiSquaredQuantile(p, 4.0);
        EXPECT_NEAR(-std::expm1(-x4 / 2.0) - std::exp(-x4 / 2.0) * x4 / 2.0, p, 1e-12) << p;
    }
    // Through the whole range of EDFs a table may need, the quantile is the
    // inverse of the CDF, and the median is close to nu (1 - 2/(9 nu))^3.
    for (double nu : {0.3, 1.7, 5.32, 37.0, 782.03, 1e5, 3e6}) {
        for (double p : {0.1585, 0.5, 0.8415}) {
            const double x = ChiSquaredQuantile(p, nu);
            EXPECT_NEAR(RegularizedGammaP(nu / 2.0, x / 2.0), p, 1e-9) << nu << ' ' << p;
        }
        if (nu > 30) {
            EXPECT_NEAR(ChiSquaredQuantile(0.5, nu) / (nu * std::pow(1 - 2 / (9 * nu), 3)), 1.0, 1e-4);
        }
    }
    for (double bad : {0.0, 1.0, -0.5, std::nan("")}) EXPECT_TRUE(std::isnan(ChiSquaredQuantile(bad, 3.0)));
    EXPECT_TRUE(std::isnan(ChiSquaredQuantile(0.5, 0.0)));
    const CInterval none = ChiSquaredInterval(1.0, std::nan(""), 0.683);
    EXPECT_TRUE(std::isnan(none.m_dLow) && std::isnan(none.m_dHigh));
}

TEST(StabilityAnalysisTest, EdfIsContinuousWhereTheLagSumGivesWayToItsIntegral)
{
    // Up to 100 lags the EDF is the exact sum; beyond, the integral limit.
    // Across that switch (m = 33 -> 34 for the Allan and modified
    // variances, 25 -> 26 for Hadamard) the EDF may only move as much as a
    // step of m moves it elsewhere.
    constexpr std::size_t n = 100000;
    for (int alpha = -2; alpha <= 2; ++alpha) {
        for (const auto& [estimator, last] : {std::pair{EdfEstimator::Allan, std::size_t{33}},
                                              std::pair{EdfEstimator::Modified, std::size_t{33}},
                                              std::pair{EdfEstimator::Hadamard, std::size_t{25}}}) {
            SCOPED_TRACE(testing::Message() << "alpha " << alpha << " estimator " << static_cast<int>(estimator));
            const double before = EquivalentDegreesOfFreedom(estimator, alpha, last - 1, n);
            const double exact = EquivalentDegreesOfFreedom(estimator, alpha, last, n);
            const double limit = EquivalentDegreesOfFreedom(estimator, alpha, last + 1, n);
            const double after = EquivalentDegreesOfFreedom(estimator, alpha, last + 2, n);
            ASSERT_TRUE(std::isfinite(before) && std::isfinite(exact) && std::isfinite(limit) && std::isfinite(after));
            const double step = std::max(std::fabs(exact / before - 1), std::fabs(after / limit - 1));
            EXPECT_LT(std::fabs(limit / exact - 1), 2 * step + 0.01);
        }
    }
    // Past 100 lags, few terms per stride (r <= d + 1) take a scaled-down
    // exact sum, more take the integral: continuous where r crosses d + 1
    // (m = 200: r = 3 at N = 1000 for Allan, at N = 1000 for Hadamard's 4).
    for (int alpha = -2; alpha <= 2; ++alpha) {
        for (const auto& [estimator, points] : {std::pair{EdfEstimator::Allan, std::size_t{1000}},
                                                std::pair{EdfEstimator::Modified, std::size_t{1200}},
                                                std::pair{EdfEstimator::Hadamard, std::size_t{1400}}}) {
            SCOPED_TRACE(testing::Message() << "alpha " << alpha << " estimator " << static_cast<int>(estimator));
            const double scaled = EquivalentDegreesOfFreedom(estimator, alpha, 200, points - 1);
            const double integral = EquivalentDegreesOfFreedom(estimator, alpha, 200, points + 1);
            ASSERT_TRUE(std::isfinite(scaled) && std::isfinite(integral));
            EXPECT_NEAR(integral / scaled, 1.0, 0.05);
        }
    }
    // No term, or a variance that diverges for the noise: no EDF.
    EXPECT_TRUE(std::isnan(EquivalentDegreesOfFreedom(EdfEstimator::Allan, 0, 10, 20)));
    EXPECT_TRUE(std::isnan(GreenhallEdf(-3, 1, 1, false, 1, 100)));
    // White FM total deviation: 1.5 N / m.
    EXPECT_DOUBLE_EQ(EquivalentDegreesOfFreedom(EdfEstimator::Total, 0, 10, 1001), 150.15);
}

TEST(StabilityAnalysisTest, NoiseTypeOfSyntheticPowerLawNoise)
{
    // White PM, white FM (integrated white noise) and random-walk FM
    // (twice integrated), long enough for the autocorrelation at m = 1 and
    // 16, short enough at m = 256 for the B1 ratio.
    std::mt19937_64 rng(5);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> white(8192), walk(8192), walk2(8192);
    double w = 0.0, v = 0.0;
    for (std::size_t i = 0; i < white.size(); ++i) {
        white[i] = noise(rng);
        w += noise(rng);
        walk[i] = w;
        v += noise(rng);
        walk2[i] = (i ? walk2[i - 1] : 0.0) + v;
    }
    for (std::size_t m : {1, 16}) {
        EXPECT_EQ(IdentifyNoise(white, m, std::nan("")), 2) << m;
        EXPECT_EQ(IdentifyNoise(walk, m, std::nan("")), 0) << m;
        EXPECT_EQ(IdentifyNoise(walk2, m, std::nan("")), -2) << m;
    }
    EXPECT_FALSE(AutocorrelationAlpha(walk, 512).has_value());
    EXPECT_EQ(B1RatioAlpha(walk, 512, std::nan("")), 0);
    EXPECT_EQ(B1RatioAlpha(walk2, 512, std::nan("")), -2);
    // PM through the B1 ratio (a phase that alternates from one average
    // to the next has B1 near 1/2), told apart by R(n) = MVAR / AVAR:
    // 1/m is white PM, a ratio near 1/2 flicker PM.
    std::vector<double> alternating(8192);
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = (i / 512) % 2 == 0 ? 1.0 : -1.0;
    EXPECT_EQ(B1RatioAlpha(alternating, 512, 1.0 / 512), 2);
    EXPECT_EQ(B1RatioAlpha(alternating, 512, 0.5), 1);
    // Under 8 averages the previous tau's type carries on; without one the
    // B1 ratio still answers.
    EXPECT_EQ(IdentifyNoise(walk, 1200, std::nan(""), -1), -1);
    EXPECT_EQ(IdentifyNoise(walk, 1200, std::nan("")), B1RatioAlpha(walk, 1200, std::nan("")));
    EXPECT_EQ(IdentifyNoise(walk, 512, std::nan(""), -1), 0);  // 15 averages: B1
    // Nothing to go on: a constant, or too few points.
    const std::vector<double> flat(100, 3.0);
    EXPECT_FALSE(IdentifyNoise(flat, 1, std::nan("")).has_value());
    EXPECT_FALSE(IdentifyNoise(std::vector<double>{1.0, 2.0}, 1, std::nan("")).has_value());
}

TEST(StabilityAnalysisTest, DriftRemovalComesBeforeEveryStatistic)
{
    // Phase = white PM + a frequency offset + a linear frequency drift.
    std::mt19937_64 rng(11);
    std::normal_distribution<double> noise(0.0, 1e-9);
    constexpr double offset = 2e-8, drift = 3e-12, tau0 = 2.0;
    std::vector<double> phase(4000), plain(4000);
    for (std::size_t i = 0; i < phase.size(); ++i) {
        const double t = tau0 * static_cast<double>(i);
        plain[i] = noise(rng);
        phase[i] = plain[i] + offset * t + drift / 2 * t * t;
    }
    CAnalysisRequest request;
    request.m_dTau0 = tau0;
    request.m_taus = CTauChoice{TauSpacing::List, {1, 64, 512}};
    request.m_abStatistics.fill(true);
    request.m_drift = DriftRemoval::Linear;
    const CAnalysis fitted = Analyse({phase}, request);
    EXPECT_NEAR(fitted.m_dFrequencyOffset / offset, 1.0, 1e-3);
    EXPECT_NEAR(fitted.m_dDriftPerSecond / drift, 1.0, 1e-3);
    request.m_drift = DriftRemoval::None;
    const CAnalysis clean = Analyse({plain}, request);
    const CAnalysis raw = Analyse({phase}, request);
    ASSERT_EQ(fitted.m_rows.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        for (std::size_t s = 0; s < kStatisticCount; ++s) {
            SCOPED_TRACE(testing::Message() << StatisticName(Statistic(s)) << " row " << k);
            // With the quadratic out, every statistic is the noise's own (the
            // fit takes a little of the noise with it at the longest tau).
            EXPECT_NEAR(fitted.m_rows[k].m_estimates[s].m_dValue / clean.m_rows[k].m_estimates[s].m_dValue, 1.0, 0.05);
        }
        // Left in, the offset dominates the time errors and the drift the
        // Allan deviation at long tau.
        EXPECT_GT(raw.m_rows[k][Statistic::TieRms].m_dValue, 2 * clean.m_rows[k][Statistic::TieRms].m_dValue);
    }
    EXPECT_GT(raw.m_rows[2][Statistic::Adev].m_dValue, 2 * clean.m_rows[2][Statistic::Adev].m_dValue);

    // The mean frequency out of phase: the offset goes, the time errors of
    // a pure offset vanish.
    std::vector<double> line(100);
    for (std::size_t i = 0; i < line.size(); ++i) line[i] = 5e-9 + 1e-7 * static_cast<double>(i);
    request.m_drift = DriftRemoval::Mean;
    request.m_dTau0 = 1.0;
    const CAnalysis mean = Analyse({line}, request);
    EXPECT_NEAR(mean.m_dFrequencyOffset / 1e-7, 1.0, 1e-9);
    EXPECT_LT(mean.m_rows[0][Statistic::Mtie].m_dValue, 1e-20);

    // Frequency data: a linear fit to the frequency; the mean from it.
    std::vector<double> y(1000);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = 1e-9 + 1e-12 * static_cast<double>(i);
    std::vector<double> copy = y;
    const CDriftFit fit = RemoveDrift(copy, SeriesKind::Frequency, DriftRemoval::Linear);
    EXPECT_NEAR(fit.m_dOffset / 1e-9, 1.0, 1e-9);
    EXPECT_NEAR(fit.m_dSlope / 1e-12, 1.0, 1e-9);
    EXPECT_LT(*std::max_element(copy.begin(), copy.end()), 1e-20);
    copy = y;
    EXPECT_NEAR(RemoveDrift(copy, SeriesKind::Frequency, DriftRemoval::Mean).m_dOffset / (1e-9 + 499.5e-12), 1.0, 1e-12);
}

TEST(StabilityAnalysisTest, FrequencyInputKeepsItsOffsetForTheTimeErrors)
{
    // A constant fractional frequency of 1e-6 over 1 s samples: the phase
    // ramps by 1 us a second, which TIE and MTIE see and the deviations not.
    std::vector<double> y(50, 1e-6);
    CAnalysisRequest request;
    request.m_kind = SeriesKind::Frequency;
    request.m_taus = CTauChoice{TauSpacing::List, {1, 10}};
    request.m_abStatistics.fill(true);
    const CAnalysis a = Analyse({y}, request);
    ASSERT_EQ(a.m_rows.size(), 2u);
    EXPECT_NEAR(a.m_rows[1][Statistic::TieRms].m_dValue, 1e-5, 1e-15);
    EXPECT_NEAR(a.m_rows[1][Statistic::Mtie].m_dValue, 1e-5, 1e-15);
    EXPECT_EQ(a.m_rows[1][Statistic::Adev].m_dValue, 0.0);
    EXPECT_EQ(a.m_rows[1][Statistic::Totdev].m_dValue, 0.0);
}

TEST(StabilityAnalysisTest, TableTextOfSeveralSegments)
{
    // Two segments (as the database gives them), the drift line naming the
    // longest, the columns in their fixed order, nan where nothing is known.
    std::vector<double> a(10), b(20);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = 1e-9 * static_cast<double>(i * i % 7);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = 2e-9 * static_cast<double>(i * 3 % 5);
    CAnalysisRequest request;
    request.m_taus = CTauChoice{TauSpacing::List, {1, 19}};
    request.m_abStatistics = {};
    request.m_abStatistics[static_cast<std::size_t>(Statistic::Mtie)] = true;
    request.m_abStatistics[static_cast<std::size_t>(Statistic::Hdev)] = true;
    request.m_bConfidence = true;
    request.m_drift = DriftRemoval::Mean;
    const CAnalysis analysis = Analyse({a, b}, request);
    const std::string text = FormatAnalysisTable(analysis, request);
    std::istringstream lines(text);
    std::string drift, header, first, last;
    std::getline(lines, drift);
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, last);
    EXPECT_EQ(drift.rfind("# drift removed: mean frequency ", 0), 0u) << drift;
    EXPECT_NE(drift.find(" (longest of 2 segments, each fitted)"), std::string::npos) << drift;
    EXPECT_EQ(header, "tau n alpha hdev hdev_lo hdev_hi mtie");
    EXPECT_EQ(first.rfind("1 26 ", 0), 0u) << first;  // 8 + 18 Allan terms at m = 1
    EXPECT_EQ(last.rfind("19 0 ", 0), 0u) << last;
    EXPECT_NE(last.find(" nan nan nan "), std::string::npos) << last;  // no HDEV, so no bounds
    request.m_drift = DriftRemoval::None;
    request.m_bConfidence = false;
    EXPECT_EQ(FormatAnalysisTable(Analyse({a, b}, request), request).rfind("tau n hdev mtie\n1 26 ", 0), 0u);
}

TEST(StabilityAnalysisTest, MultiplesBeyondTheDataGiveEmptyRows)
{
    // Up to multiples whose doubles and triples wrap around: every
    // statistic, the noise type and the bounds stay empty, nothing reads
    // outside the data.
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    std::vector<double> x(40);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(static_cast<double>(i * i));
    CAnalysisRequest request;
    request.m_taus = CTauChoice{TauSpacing::List, {39, 40, huge / 3 + 1, huge / 2 + 1, huge}};
    request.m_abStatistics.fill(true);
    request.m_bConfidence = true;
    const CAnalysis a = Analyse({x}, request);
    ASSERT_EQ(a.m_rows.size(), 5u);
    EXPECT_TRUE(std::isfinite(a.m_rows[0][Statistic::Mtie].m_dValue));  // 40 points: one window of 40
    for (std::size_t k = 1; k < 5; ++k) {
        EXPECT_EQ(a.m_rows[k].m_nTerms, 0u);
        for (const CEstimate& e : a.m_rows[k].m_estimates) {
            EXPECT_TRUE(std::isnan(e.m_dValue));
            EXPECT_TRUE(std::isnan(e.m_dLow));
        }
    }
    EXPECT_FALSE(B1RatioAlpha(x, huge / 2 + 1, 0.5).has_value());
    EXPECT_TRUE(std::isnan(EquivalentDegreesOfFreedom(EdfEstimator::Total, 0, huge / 2 + 1, 40)));
}

TEST(StabilityAnalysisTest, SegmentsCombineAndExtremeMagnitudesStayFinite)
{
    std::mt19937_64 rng(3);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> a(600), b(900);
    for (double& v : a) v = noise(rng);
    for (double& v : b) v = noise(rng);
    CAnalysisRequest request;
    request.m_taus = CTauChoice{TauSpacing::List, {1, 5, 250, 400}};
    request.m_abStatistics.fill(true);
    request.m_bConfidence = true;
    const CAnalysis joined = Analyse({a, b}, request);
    const CAnalysis first = Analyse({a}, request);
    const CAnalysis second = Analyse({b}, request);
    ASSERT_EQ(joined.m_rows.size(), 4u);
    EXPECT_EQ(joined.m_nSegments, 2u);
    for (std::size_t k = 0; k < 4; ++k) {
        const CAnalysisRow& j = joined.m_rows[k];
        EXPECT_EQ(j[Statistic::Mtie].m_dValue,
                  std::max(first.m_rows[k][Statistic::Mtie].m_dValue, second.m_rows[k][Statistic::Mtie].m_dValue));
        EXPECT_EQ(j[Statistic::TieRms].m_nTerms,
                  first.m_rows[k][Statistic::TieRms].m_nTerms + second.m_rows[k][Statistic::TieRms].m_nTerms);
    }
    // m = 5: both segments count; the EDFs add.
    const double edfSum = first.m_rows[1][Statistic::Adev].m_dEdf + second.m_rows[1][Statistic::Adev].m_dEdf;
    EXPECT_NEAR(joined.m_rows[1][Statistic::Adev].m_dEdf / edfSum, 1.0, 1e-12);
    // m = 400: only the longer segment has an Allan term (2m + 1 <= 900).
    EXPECT_EQ(joined.m_rows[3][Statistic::Adev].m_nTerms, 100u);

    for (double scale : {1e-300, 1e300}) {
        std::vector<double> big = b;
        for (double& v : big) v *= scale;
        const CAnalysis s = Analyse({big}, request);
        for (std::size_t k = 0; k < 4; ++k) {
            for (std::size_t st = 0; st < kStatisticCount; ++st) {
                const CEstimate& e = s.m_rows[k].m_estimates[st];
                const CEstimate& base = second.m_rows[k].m_estimates[st];
                if (std::isnan(base.m_dValue)) continue;
                EXPECT_NEAR(e.m_dValue / (base.m_dValue * scale), 1.0, 1e-12) << StatisticName(Statistic(st));
                if (std::isfinite(base.m_dLow)) {
                    EXPECT_NEAR(e.m_dLow / (base.m_dLow * scale), 1.0, 1e-12);
                }
            }
            EXPECT_EQ(s.m_rows[k].m_alpha, second.m_rows[k].m_alpha);
        }
    }
}

}  // namespace
}  // namespace velmor
