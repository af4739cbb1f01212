#pragma once
// Stability statistics kept up to date one sample at a time: ADEV, TDEV and
// MTIE over the last hour and the last day of the unit's own seconds, both at
// once, and the margins against the telecom wander masks.
//
// Input is one 1PPS phase sample (seconds) per unit second, with whether the
// unit was settled in lock. A sample that does not follow the one before by
// exactly one unit second, or an unsettled one, starts a new segment; no term
// of any statistic straddles two segments. A window holds the samples of the
// last W unit seconds (the newest second seen, settled or not, is "now"), and
// a term counts in a window while every point of it does. The figures equal
// what the batch estimators (Stability.h, TimeError.h) give over the same
// segments cut to the window.
//
// Cost per sample is constant: for each averaging factor m,
//   - the Allan term ending at the new point is added to each window's sum of
//     squares, and the term starting at a point that leaves a window is taken
//     out again, recomputed from the kept phase;
//   - the modified term (a window of m Allan terms, for TDEV) is formed from
//     running sums of the segment's phase, so it too costs O(1) to add and to
//     take out;
//   - MTIE keeps monotone deques of the window of m + 1 points (its largest
//     and smallest phase), and a decreasing deque of the spreads seen over
//     the day: its front is the day's MTIE, and the hour's is the first entry
//     inside the hour (a binary search on a scrape, not per sample).
// The sums are exact again after every window length of samples (recomputed
// from the kept phase), so rounding in the add-and-remove cannot pile up.
//
// The unit's clock going back (or a sample repeating its second) is no
// wander: a repeated second is ignored, a second before the newest one
// starts everything afresh.
//
// Memory: the day's phase, its running sums, seconds and segment starts
// (about 3.5 MB for a day of samples) and the deques, which stay small for noise but can grow to
// one entry per second for a steady drift over the whole day.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "stability/Masks.h"
#include "stability/Stability.h"

namespace velmor {

enum class LiveWindow : std::uint8_t { Hour, Day };
inline constexpr LiveWindow kLiveWindows[] = {LiveWindow::Hour, LiveWindow::Day};
// The label values "1h" and "24h".
const char* WindowName(LiveWindow window);

class CLiveStability {
public:
    // The averaging times the metrics name, and those a mask margin runs over
    // (octaves from 1 s to 2048 s).
    static constexpr std::size_t kReportedTaus[] = {1, 10, 100, 1000};
    static constexpr std::size_t kMarginTaus[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048};

    // The two window lengths in unit seconds (hour <= day); tests shorten them.
    explicit CLiveStability(std::int64_t hourSeconds = 3600, std::int64_t daySeconds = 86400);

    // One unit second: its 1PPS phase in seconds and whether the unit was
    // settled in lock. A non-finite phase counts as unsettled. |newSegment|
    // starts a segment even at the next second (a phase step that is no
    // wander).
    void Add(std::int64_t unitSecond, double phase, bool settled, bool newSegment = false);
    // Forgets everything.
    void Reset();

    std::int64_t WindowSeconds(LiveWindow window) const;
    // ADEV and TDEV (m_adev, m_tdev) at factor m over the window: a value is
    // NaN while the window holds no term for it. Only the factors of
    // kReportedTaus and kMarginTaus are kept; others give an empty point.
    CStabilityPoint Deviation(LiveWindow window, std::size_t m) const;
    // MTIE at factor m over the window, seconds; NaN without a whole window
    // of m + 1 points.
    double Mtie(LiveWindow window, std::size_t m) const;
    // Measured / mask at the worst octave tau; NaN while nothing is measured.
    double Margin(WanderMask mask, WanderStatistic statistic, LiveWindow window) const;

    // The samples the day's window holds now.
    std::size_t DaySamples() const;

private:
    struct CSpread {
        std::int64_t m_llSecond = 0;  // the unit second of the spread's first point
        double m_dValue = 0.0;
    };
    struct CWindowSums {
        long double m_ldAllan = 0.0L;
        long double m_ldModified = 0.0L;
        std::size_t m_nAllan = 0;
        std::size_t m_nModified = 0;
    };
    struct CFactor {
        std::size_t m_nM = 0;
        std::array<CWindowSums, 2> m_sums;
        std::deque<std::int64_t> m_high;  // indices of the m + 1 points, decreasing phase
        std::deque<std::int64_t> m_low;   // increasing phase
        std::deque<CSpread> m_spreads;    // over the day, decreasing
    };

    std::size_t Slot(std::int64_t index) const { return static_cast<std::size_t>(index % m_nCapacity); }
    double X(std::int64_t index) const { return m_adPhase[Slot(index)]; }
    std::int64_t SecondOf(std::int64_t index) const { return m_allSecond[Slot(index)]; }
    // Both indices kept, first <= last, and every second between them present.
    bool SameSegment(std::int64_t first, std::int64_t last) const;
    bool StartsSegment(std::int64_t index) const;
    double AllanTerm(std::int64_t start, std::size_t m) const;
    long double ModifiedTerm(std::int64_t start, std::size_t m) const;
    long double RunSum(std::int64_t start, std::size_t m) const;
    void Expire(std::int64_t now);
    void TakeOut(std::int64_t start, std::size_t window);
    void AddTermsEndingAt(std::int64_t last);
    void Recompute(std::size_t window);
    const CFactor* FactorOf(std::size_t m) const;

    std::array<std::int64_t, 2> m_allWindow;
    std::size_t m_nCapacity;
    std::vector<double> m_adPhase;
    std::vector<long double> m_aldPrefix;  // phase minus the segment's first, summed over the segment
    std::vector<std::int64_t> m_allSecond;
    std::vector<std::int64_t> m_allSegment;  // the index of each kept point's segment start
    std::vector<CFactor> m_factors;

    std::int64_t m_llCount = 0;     // samples kept so far; the next one's index
    std::int64_t m_llSegmentStart = 0;
    double m_dSegmentFirst = 0.0;
    bool m_bAny = false;            // a second has been seen
    std::int64_t m_llNow = 0;       // the newest second seen
    std::array<std::int64_t, 2> m_allTail{};        // first index inside each window
    std::array<std::int64_t, 2> m_allSinceExact{};  // samples since the sums were last recomputed
};

}  // namespace velmor
