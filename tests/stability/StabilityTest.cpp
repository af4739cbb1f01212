// The stability estimators against the published NBS14 reference values, the
// textbook sums on random data with gaps, and the known slopes of white phase
// noise.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "stability/Stability.h"

namespace velmor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The NBS14 9-point fractional-frequency set and the 10-point phase set
// printed beside it (the same data, phase rounded to 5 decimals).
const std::vector<double> kNbs14Frequency = {892, 809, 823, 798, 671, 644, 883, 903, 677};
const std::vector<double> kNbs14Phase = {0.00000,   103.11111, 123.22222, 157.33333, 166.44444,
                                         48.55555,  -96.33333, -2.22222,  111.88889, 0.00000};

// The 1000-point NBS14 frequency set: the minimal-standard generator
// n' = 16807 n mod (2^31 - 1) from seed 1234567890, the seed itself being the
// first value, each scaled to n / (2^31 - 1).
std::vector<double> Nbs14ThousandPoints()
{
    std::vector<double> y;
    std::uint64_t n = 1234567890;
    for (int i = 0; i < 1000; ++i) {
        y.push_back(static_cast<double>(n) / 2147483647.0);
        n = 16807 * n % 2147483647;
    }
    return y;
}

// Published overlapping deviations at one averaging factor, as printed.
struct CPublished {
    std::size_t m;
    double adev, mdev, tdev, hdev;
};

void ExpectPublished(const std::vector<CStabilityPoint>& points, const std::vector<CPublished>& table,
                     double tau0)
{
    ASSERT_EQ(points.size(), table.size());
    for (std::size_t k = 0; k < table.size(); ++k) {
        const CStabilityPoint& p = points[k];
        const CPublished& want = table[k];
        SCOPED_TRACE(testing::Message() << "m = " << want.m);
        EXPECT_EQ(p.m_nMultiple, want.m);
        EXPECT_DOUBLE_EQ(p.m_dTau, static_cast<double>(want.m) * tau0);
        // Printed to 7 significant digits: agree to 1e-6 of the printed value.
        EXPECT_NEAR(p.m_adev.m_dValue / want.adev, 1.0, 1e-6);
        EXPECT_NEAR(p.m_mdev.m_dValue / want.mdev, 1.0, 1e-6);
        EXPECT_NEAR(p.m_tdev.m_dValue / want.tdev, 1.0, 1e-6);
        EXPECT_NEAR(p.m_hdev.m_dValue / want.hdev, 1.0, 1e-6);
    }
}

TEST(StabilityTest, Nbs14TenPointSetGivesThePublishedDeviations)
{
    const std::vector<CPublished> table = {
        {1, 91.22945, 91.22945, 52.67135, 70.80607},
        {2, 85.95287, 74.78849, 86.35831, 85.61487},
    };
    // The default octave choice stops at a quarter of the 10 phase points.
    const std::vector<CStabilityPoint> fromFrequency =
        ComputeStability(kNbs14Frequency, SeriesKind::Frequency, 1.0, CTauChoice{});
    ExpectPublished(fromFrequency, table, 1.0);
    ASSERT_EQ(fromFrequency.size(), 2u);
    EXPECT_EQ(fromFrequency[0].m_nTerms, 8u);
    EXPECT_EQ(fromFrequency[1].m_nTerms, 6u);
    EXPECT_EQ(fromFrequency[1].m_mdev.m_nTerms, 5u);
    EXPECT_EQ(fromFrequency[1].m_hdev.m_nTerms, 4u);

    ExpectPublished(ComputeStability(kNbs14Phase, SeriesKind::Phase, 1.0, CTauChoice{}), table, 1.0);
}

TEST(StabilityTest, Nbs14ThousandPointSetGivesThePublishedDeviations)
{
    const std::vector<double> y = Nbs14ThousandPoints();
    ASSERT_EQ(y[1], 395529916 / 2147483647.0);
    ASSERT_EQ(y[3], 633705974 / 2147483647.0);
    const std::vector<CPublished> table = {
        {1, 2.922319e-01, 2.922319e-01, 1.687202e-01, 2.943883e-01},
        {10, 9.159953e-02, 6.172376e-02, 3.563623e-01, 9.581083e-02},
        {100, 3.241343e-02, 2.170921e-02, 1.253382e+00, 3.237638e-02},
    };
    const CTauChoice taus{TauSpacing::List, {100, 1, 10}};
    ExpectPublished(ComputeStability(y, SeriesKind::Frequency, 1.0, taus), table, 1.0);

    // The same frequency averaged over half a second: the frequency
    // deviations stay, the time deviation is in seconds and halves.
    std::vector<CPublished> halved = table;
    for (CPublished& row : halved) row.tdev /= 2;
    ExpectPublished(ComputeStability(y, SeriesKind::Frequency, 0.5, taus), halved, 0.5);

    // Phase input: the integrated series gives the same.
    ExpectPublished(ComputeStability(FrequencyToPhase(y, 1.0), SeriesKind::Phase, 1.0, taus), table, 1.0);
}

// The textbook sums, term by term, for one finite segment.
CStabilitySums TextbookSums(const std::vector<double>& x, std::size_t m)
{
    CStabilitySums sums;
    const std::size_t n = x.size();
    using LD = long double;
    auto allan = [&](std::size_t i) { return LD(x[i + 2 * m]) - 2.0L * x[i + m] + x[i]; };
    for (std::size_t i = 0; i + 2 * m < n; ++i, ++sums.m_nAllan) sums.m_ldAllan += allan(i) * allan(i);
    for (std::size_t i = 0; i + 3 * m < n; ++i, ++sums.m_nHadamard) {
        const long double h = LD(x[i + 3 * m]) - 3.0L * x[i + 2 * m] + 3.0L * x[i + m] - x[i];
        sums.m_ldHadamard += h * h;
    }
    for (std::size_t j = 0; j + 3 * m <= n; ++j, ++sums.m_nModified) {
        long double w = 0.0L;
        for (std::size_t i = j; i < j + m; ++i) w += allan(i);
        sums.m_ldModified += w * w;
    }
    return sums;
}

TEST(StabilityTest, GapsSplitTheSeriesAndSegmentsCombineTheirTerms)
{
    // A random-walk phase with white noise on top, in pieces of very
    // different lengths: some too short for the larger averaging factors.
    std::mt19937_64 rng(20261207);
    std::normal_distribution<double> noise(0.0, 1e-9);
    std::vector<std::vector<double>> pieces;
    for (std::size_t length : {400u, 2u, 37u, 1u, 150u, 9u}) {
        std::vector<double> piece;
        double walk = 3e-6;
        for (std::size_t i = 0; i < length; ++i) {
            walk += noise(rng) * 0.1;
            piece.push_back(walk + noise(rng));
        }
        pieces.push_back(piece);
    }
    // The same pieces in one series, cut by NaN and infinity.
    std::vector<double> series = {kNaN};
    for (const std::vector<double>& piece : pieces) {
        series.insert(series.end(), piece.begin(), piece.end());
        series.push_back(series.size() % 2 ? kNaN : std::numeric_limits<double>::infinity());
    }

    const CTauChoice taus{TauSpacing::List, {1, 2, 3, 7, 12, 13, 50, 133, 134}};
    const std::vector<CStabilityPoint> cut = ComputeStability(series, SeriesKind::Phase, 0.25, taus);
    const std::vector<CStabilityPoint> segmented =
        ComputeSegmentedStability(pieces, SeriesKind::Phase, 0.25, taus);
    ASSERT_EQ(cut.size(), taus.m_anMultiples.size());
    ASSERT_EQ(segmented.size(), cut.size());
    for (std::size_t k = 0; k < cut.size(); ++k) {
        const std::size_t m = taus.m_anMultiples[k];
        SCOPED_TRACE(testing::Message() << "m = " << m);
        CStabilitySums want;
        for (const std::vector<double>& piece : pieces) want += TextbookSums(piece, m);
        const CStabilityPoint expected = FinishStabilityPoint(want, m, 0.25);
        for (const CStabilityPoint* p : {&cut[k], &segmented[k]}) {
            EXPECT_EQ(p->m_nTerms, want.m_nAllan);
            EXPECT_EQ(p->m_mdev.m_nTerms, want.m_nModified);
            EXPECT_EQ(p->m_hdev.m_nTerms, want.m_nHadamard);
            const std::pair<double, double> pairs[] = {
                {p->m_adev.m_dValue, expected.m_adev.m_dValue},
                {p->m_mdev.m_dValue, expected.m_mdev.m_dValue},
                {p->m_tdev.m_dValue, expected.m_tdev.m_dValue},
                {p->m_hdev.m_dValue, expected.m_hdev.m_dValue},
            };
            for (auto [got, wanted] : pairs) {
                if (std::isnan(wanted)) {
                    EXPECT_TRUE(std::isnan(got));
                } else {
                    EXPECT_NEAR(got / wanted, 1.0, 1e-12);
                }
            }
        }
    }
    // m = 134 leaves the 400-point piece 132 Allan terms but too few points
    // for the modified and Hadamard terms (3m > 400).
    EXPECT_EQ(cut.back().m_nTerms, 132u);
    EXPECT_TRUE(std::isnan(cut.back().m_hdev.m_dValue));
    EXPECT_GT(cut.back().m_adev.m_dHigh, cut.back().m_adev.m_dValue);
    EXPECT_LT(cut.back().m_adev.m_dLow, cut.back().m_adev.m_dValue);
}

double LogLogSlope(const std::vector<CStabilityPoint>& points, CDeviation CStabilityPoint::*which)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = static_cast<double>(points.size());
    for (const CStabilityPoint& p : points) {
        const double lx = std::log(p.m_dTau);
        const double ly = std::log((p.*which).m_dValue);
        sx += lx;
        sy += ly;
        sxx += lx * lx;
        sxy += lx * ly;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

TEST(StabilityTest, WhitePhaseNoiseHasItsKnownSlopes)
{
    std::mt19937_64 rng(42);
    std::normal_distribution<double> noise(0.0, 1e-9);
    std::vector<double> phase(1 << 16);
    for (double& x : phase) x = 1e-3 + noise(rng);
    const std::vector<CStabilityPoint> points = ComputeStability(phase, SeriesKind::Phase, 1.0, CTauChoice{});
    ASSERT_EQ(points.size(), 15u);  // m = 1 ... 16384
    EXPECT_NEAR(LogLogSlope(points, &CStabilityPoint::m_adev), -1.0, 0.1);
    EXPECT_NEAR(LogLogSlope(points, &CStabilityPoint::m_hdev), -1.0, 0.1);
    EXPECT_NEAR(LogLogSlope(points, &CStabilityPoint::m_mdev), -1.5, 0.1);
    EXPECT_NEAR(LogLogSlope(points, &CStabilityPoint::m_tdev), -0.5, 0.1);
}

TEST(StabilityTest, LargeFrequencyOffsetCostsNoPrecision)
{
    // A crystal oscillator 50 ppm off, read with 1e-14 noise: summed naively
    // its phase reaches 5 s and the rounding of that swamps the terms.
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0.0, 1e-14);
    std::vector<double> offset, centred;
    for (int i = 0; i < 100000; ++i) {
        const double y = noise(rng);
        centred.push_back(y);
        offset.push_back(5e-5 + y);
    }
    const CTauChoice taus{TauSpacing::List, {1, 100}};
    const std::vector<CStabilityPoint> a = ComputeStability(offset, SeriesKind::Frequency, 1.0, taus);
    const std::vector<CStabilityPoint> b = ComputeStability(centred, SeriesKind::Frequency, 1.0, taus);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_NEAR(a[k].m_adev.m_dValue / b[k].m_adev.m_dValue, 1.0, 1e-6);
        EXPECT_NEAR(a[k].m_mdev.m_dValue / b[k].m_mdev.m_dValue, 1.0, 1e-6);
        EXPECT_NEAR(a[k].m_hdev.m_dValue / b[k].m_hdev.m_dValue, 1.0, 1e-6);
    }

    // The same offset in phase input: the terms must come from the samples
    // as exactly as the textbook sums in long double get them.
    std::vector<double> phase;
    for (int i = 0; i < 100000; ++i) phase.push_back(5e-5 * i + noise(rng));
    const std::vector<CStabilityPoint> p = ComputeStability(phase, SeriesKind::Phase, 1.0, taus);
    ASSERT_EQ(p.size(), 2u);
    for (std::size_t k = 0; k < p.size(); ++k) {
        const std::size_t m = taus.m_anMultiples[k];
        const CStabilityPoint want = FinishStabilityPoint(TextbookSums(phase, m), m, 1.0);
        EXPECT_NEAR(p[k].m_adev.m_dValue / want.m_adev.m_dValue, 1.0, 1e-6);
        EXPECT_NEAR(p[k].m_mdev.m_dValue / want.m_mdev.m_dValue, 1.0, 1e-6);
        EXPECT_NEAR(p[k].m_hdev.m_dValue / want.m_hdev.m_dValue, 1.0, 1e-6);
    }
}

TEST(StabilityTest, ExtremeMagnitudesGiveFiniteScaledResults)
{
    // The same noise at 1e-300 and 1e300 (squares far outside a double's
    // range), as phase and as frequency, and with a tiny but normal tau0:
    // every deviation is the unit-scale one times the scale.
    std::mt19937_64 rng(99);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> unit(4000);
    for (double& v : unit) v = noise(rng);
    const CTauChoice taus{TauSpacing::List, {1, 7, 100}};
    for (SeriesKind kind : {SeriesKind::Phase, SeriesKind::Frequency}) {
        const std::vector<CStabilityPoint> base = ComputeStability(unit, kind, 1.0, taus);
        ASSERT_EQ(base.size(), 3u);
        struct CCase {
            double valueScale, tau0, expected;  // expected factor on adev, mdev, hdev
        };
        const bool phase = kind == SeriesKind::Phase;
        for (const CCase c : {CCase{1e300, 1.0, 1e300}, CCase{1e-300, 1.0, 1e-300},
                              CCase{1e-300, 1e-300, phase ? 1.0 : 1e-300}, CCase{1e300, 1e300, phase ? 1.0 : 1e300}}) {
            SCOPED_TRACE(testing::Message() << "kind " << phase << " scale " << c.valueScale << " tau0 " << c.tau0);
            std::vector<double> scaled = unit;
            for (double& v : scaled) v *= c.valueScale;
            const std::vector<CStabilityPoint> got = ComputeStability(scaled, kind, c.tau0, taus);
            ASSERT_EQ(got.size(), base.size());
            for (std::size_t k = 0; k < got.size(); ++k) {
                for (CDeviation CStabilityPoint::*dev :
                     {&CStabilityPoint::m_adev, &CStabilityPoint::m_mdev, &CStabilityPoint::m_hdev}) {
                    const double value = (got[k].*dev).m_dValue;
                    ASSERT_TRUE(std::isfinite(value));
                    EXPECT_NEAR(value / ((base[k].*dev).m_dValue * c.expected), 1.0, 1e-12);
                }
                // TDEV is in seconds: tau times the (scaled) MDEV, where
                // that product is a double at all (frequency at 1e300 over
                // tau0 = 1e300 s gives 1e600 s).
                const long double tdev = static_cast<long double>(got[k].m_dTau) / std::sqrt(3.0L)
                                         * got[k].m_mdev.m_dValue;
                if (std::isnormal(static_cast<double>(tdev))) {
                    EXPECT_NEAR(static_cast<double>(got[k].m_tdev.m_dValue / tdev), 1.0, 1e-12);
                }
            }
        }
    }
    // A subnormal interval is no interval.
    EXPECT_TRUE(ComputeStability(unit, SeriesKind::Phase, 1e-320, taus).empty());
    EXPECT_FALSE(IsUsableInterval(std::numeric_limits<double>::denorm_min()));
    EXPECT_TRUE(IsUsableInterval(std::numeric_limits<double>::min()));
}

TEST(StabilityTest, TooLittleOrBadInputGivesNoNumbers)
{
    const CTauChoice octave;
    for (const std::vector<double>& series :
         {std::vector<double>{}, {1e-9}, {1e-9, 2e-9}, {kNaN, kNaN, kNaN, kNaN}, {1e-9, kNaN, 2e-9, kNaN}}) {
        EXPECT_TRUE(ComputeStability(series, SeriesKind::Phase, 1.0, octave).empty());
    }
    EXPECT_TRUE(ComputeStability(std::vector<double>{}, SeriesKind::Frequency, 1.0, octave).empty());
    EXPECT_TRUE(ComputeSegmentedStability({}, SeriesKind::Phase, 1.0, octave).empty());
    EXPECT_TRUE(ComputeSegmentedStability({{}, {1.0, 2.0}}, SeriesKind::Phase, 1.0, octave).empty());

    const std::vector<double> three = {1e-9, -2e-9, 4e-9};
    for (double tau0 : {0.0, -1.0, kNaN, std::numeric_limits<double>::infinity()}) {
        EXPECT_TRUE(ComputeStability(three, SeriesKind::Phase, tau0, octave).empty());
    }

    // Two frequency samples are three phase points: one Allan and one
    // modified term, not enough for a Hadamard term.
    const std::vector<CStabilityPoint> two = ComputeStability(std::vector<double>{1e-11, 3e-11},
                                                              SeriesKind::Frequency, 1.0, octave);
    ASSERT_EQ(two.size(), 1u);
    EXPECT_EQ(two[0].m_nTerms, 1u);
    EXPECT_NEAR(two[0].m_adev.m_dValue, std::sqrt(0.5) * 2e-11, 1e-24);
    EXPECT_EQ(two[0].m_adev.m_dLow, 0.0);
    EXPECT_EQ(two[0].m_mdev.m_nTerms, 1u);
    EXPECT_TRUE(std::isnan(two[0].m_hdev.m_dValue));

    // Factors far beyond the data (up to ones whose multiples wrap around)
    // are reported empty; zero is not a factor.
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    const std::vector<CStabilityPoint> beyond =
        ComputeStability(three, SeriesKind::Phase, 1.0, CTauChoice{TauSpacing::List, {0, 2, huge / 2, huge}});
    ASSERT_EQ(beyond.size(), 3u);
    for (const CStabilityPoint& p : beyond) {
        EXPECT_EQ(p.m_nTerms, 0u);
        EXPECT_TRUE(std::isnan(p.m_adev.m_dValue));
        EXPECT_TRUE(std::isnan(p.m_tdev.m_dValue));
    }
}

TEST(StabilityTest, TauChoicesStopAtAQuarterOfTheData)
{
    using V = std::vector<std::size_t>;
    EXPECT_EQ(ChooseTauMultiples(1001, {TauSpacing::Octave, {}}), (V{1, 2, 4, 8, 16, 32, 64, 128}));
    EXPECT_EQ(ChooseTauMultiples(1001, {TauSpacing::Decade, {}}), (V{1, 2, 5, 10, 20, 50, 100, 200}));
    EXPECT_EQ(ChooseTauMultiples(4000, {TauSpacing::Decade, {}}), (V{1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}));
    EXPECT_EQ(ChooseTauMultiples(3, {TauSpacing::Octave, {}}), (V{1}));
    EXPECT_EQ(ChooseTauMultiples(2, {TauSpacing::Octave, {}}), V{});
    EXPECT_EQ(ChooseTauMultiples(50, {TauSpacing::List, {100, 0, 10, 10, 1}}), (V{1, 10, 100}));
}

}  // namespace
}  // namespace velmor
