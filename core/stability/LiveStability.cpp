#include "stability/LiveStability.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every factor kept: the reported ones and the margin's octaves, ascending.
std::vector<std::size_t> KeptFactors()
{
    std::vector<std::size_t> factors(std::begin(CLiveStability::kMarginTaus), std::end(CLiveStability::kMarginTaus));
    factors.insert(factors.end(), std::begin(CLiveStability::kReportedTaus), std::end(CLiveStability::kReportedTaus));
    std::sort(factors.begin(), factors.end());
    factors.erase(std::unique(factors.begin(), factors.end()), factors.end());
    return factors;
}

}  // namespace

const char* WindowName(LiveWindow window) { return window == LiveWindow::Hour ? "1h" : "24h"; }

CLiveStability::CLiveStability(std::int64_t hourSeconds, std::int64_t daySeconds)
    : m_allWindow{std::max<std::int64_t>(1, hourSeconds), std::max<std::int64_t>(1, std::max(hourSeconds, daySeconds))},
      // One sample more than the day holds: the point before the oldest kept
      // one tells whether that one starts its segment.
      m_nCapacity(static_cast<std::size_t>(m_allWindow[1]) + 1), m_adPhase(m_nCapacity), m_aldPrefix(m_nCapacity),
      m_allSecond(m_nCapacity), m_allSegment(m_nCapacity)
{
    for (std::size_t m : KeptFactors()) {
        CFactor factor;
        factor.m_nM = m;
        m_factors.push_back(std::move(factor));
    }
}

void CLiveStability::Reset()
{
    m_llCount = 0;
    m_llSegmentStart = 0;
    m_bAny = false;
    m_allTail = {};
    m_allSinceExact = {};
    for (CFactor& factor : m_factors) {
        factor.m_sums = {};
        factor.m_high.clear();
        factor.m_low.clear();
        factor.m_spreads.clear();
    }
}

std::int64_t CLiveStability::WindowSeconds(LiveWindow window) const
{
    return m_allWindow[static_cast<std::size_t>(window)];
}

std::size_t CLiveStability::DaySamples() const { return static_cast<std::size_t>(m_llCount - m_allTail[1]); }

bool CLiveStability::SameSegment(std::int64_t first, std::int64_t last) const
{
    if (first < 0 || last >= m_llCount || first > last) return false;
    if (first < m_llCount - static_cast<std::int64_t>(m_nCapacity)) return false;
    // Seconds only rise, so a difference equal to the index difference means
    // no second is missing in between; a break the caller marked shows in
    // the segment starts.
    return SecondOf(last) - SecondOf(first) == last - first && m_allSegment[Slot(first)] == m_allSegment[Slot(last)];
}

bool CLiveStability::StartsSegment(std::int64_t index) const { return !SameSegment(index - 1, index); }

double CLiveStability::AllanTerm(std::int64_t start, std::size_t m) const
{
    const auto step = static_cast<std::int64_t>(m);
    // Neighbouring differences first, as the batch estimator forms them.
    return (X(start + 2 * step) - X(start + step)) - (X(start + step) - X(start));
}

long double CLiveStability::RunSum(std::int64_t start, std::size_t m) const
{
    const std::int64_t last = start + static_cast<std::int64_t>(m) - 1;
    const long double before = StartsSegment(start) ? 0.0L : m_aldPrefix[Slot(start - 1)];
    return m_aldPrefix[Slot(last)] - before;
}

long double CLiveStability::ModifiedTerm(std::int64_t start, std::size_t m) const
{
    // The sum of the m Allan terms from |start| telescopes into three sums of
    // m phase points each.
    const auto step = static_cast<std::int64_t>(m);
    return RunSum(start + 2 * step, m) - 2.0L * RunSum(start + step, m) + RunSum(start, m);
}

void CLiveStability::TakeOut(std::int64_t start, std::size_t window)
{
    for (CFactor& factor : m_factors) {
        const auto step = static_cast<std::int64_t>(factor.m_nM);
        CWindowSums& sums = factor.m_sums[window];
        if (SameSegment(start, start + 2 * step) && sums.m_nAllan > 0) {
            const double a = AllanTerm(start, factor.m_nM);
            sums.m_ldAllan -= static_cast<long double>(a) * a;
            --sums.m_nAllan;
        }
        if (SameSegment(start, start + 3 * step - 1) && sums.m_nModified > 0) {
            const long double w = ModifiedTerm(start, factor.m_nM);
            sums.m_ldModified -= w * w;
            --sums.m_nModified;
        }
    }
}

void CLiveStability::Expire(std::int64_t now)
{
    for (std::size_t w = 0; w < 2; ++w) {
        const std::int64_t oldest = now - m_allWindow[w];
        while (m_allTail[w] < m_llCount && SecondOf(m_allTail[w]) <= oldest) {
            TakeOut(m_allTail[w], w);
            ++m_allTail[w];
        }
    }
    const std::int64_t dayOldest = now - m_allWindow[1];
    for (CFactor& factor : m_factors) {
        while (!factor.m_spreads.empty() && factor.m_spreads.front().m_llSecond <= dayOldest)
            factor.m_spreads.pop_front();
    }
}

void CLiveStability::AddTermsEndingAt(std::int64_t last)
{
    for (CFactor& factor : m_factors) {
        const auto step = static_cast<std::int64_t>(factor.m_nM);
        const std::int64_t allanStart = last - 2 * step;
        const std::int64_t modifiedStart = last - 3 * step + 1;
        const bool hasAllan = allanStart >= m_llSegmentStart;
        const bool hasModified = modifiedStart >= m_llSegmentStart;
        const double a = hasAllan ? AllanTerm(allanStart, factor.m_nM) : 0.0;
        const long double w = hasModified ? ModifiedTerm(modifiedStart, factor.m_nM) : 0.0L;
        for (std::size_t win = 0; win < 2; ++win) {
            CWindowSums& sums = factor.m_sums[win];
            if (hasAllan && allanStart >= m_allTail[win]) {
                sums.m_ldAllan += static_cast<long double>(a) * a;
                ++sums.m_nAllan;
            }
            if (hasModified && modifiedStart >= m_allTail[win]) {
                sums.m_ldModified += w * w;
                ++sums.m_nModified;
            }
        }

        // MTIE: the largest and smallest of the last m + 1 points.
        if (last == m_llSegmentStart) {
            factor.m_high.clear();
            factor.m_low.clear();
        }
        const double x = X(last);
        while (!factor.m_high.empty() && X(factor.m_high.back()) <= x) factor.m_high.pop_back();
        factor.m_high.push_back(last);
        while (!factor.m_low.empty() && X(factor.m_low.back()) >= x) factor.m_low.pop_back();
        factor.m_low.push_back(last);
        const std::int64_t first = last - step;
        while (factor.m_high.front() < first) factor.m_high.pop_front();
        while (factor.m_low.front() < first) factor.m_low.pop_front();
        if (first >= m_llSegmentStart && first >= m_allTail[1]) {
            const double spread = X(factor.m_high.front()) - X(factor.m_low.front());
            while (!factor.m_spreads.empty() && factor.m_spreads.back().m_dValue <= spread)
                factor.m_spreads.pop_back();
            factor.m_spreads.push_back({SecondOf(first), spread});
        }
    }
}

void CLiveStability::Recompute(std::size_t window)
{
    for (CFactor& factor : m_factors) factor.m_sums[window] = {};
    for (std::int64_t start = m_allTail[window]; start < m_llCount; ++start) {
        for (CFactor& factor : m_factors) {
            const auto step = static_cast<std::int64_t>(factor.m_nM);
            CWindowSums& sums = factor.m_sums[window];
            if (SameSegment(start, start + 2 * step)) {
                const double a = AllanTerm(start, factor.m_nM);
                sums.m_ldAllan += static_cast<long double>(a) * a;
                ++sums.m_nAllan;
            }
            if (SameSegment(start, start + 3 * step - 1)) {
                const long double w = ModifiedTerm(start, factor.m_nM);
                sums.m_ldModified += w * w;
                ++sums.m_nModified;
            }
        }
    }
    m_allSinceExact[window] = 0;
}

void CLiveStability::Add(std::int64_t unitSecond, double phase, bool settled, bool newSegment)
{
    if (m_bAny && unitSecond == m_llNow) return;
    if (m_bAny && unitSecond < m_llNow) Reset();
    m_bAny = true;
    m_llNow = unitSecond;
    Expire(unitSecond);
    if (!settled || !std::isfinite(phase)) return;

    const std::int64_t index = m_llCount;
    const std::size_t slot = Slot(index);
    const bool continues =
        !newSegment && index > 0 && m_llCount - m_allTail[1] > 0 && SecondOf(index - 1) == unitSecond - 1;
    m_adPhase[slot] = phase;
    m_allSecond[slot] = unitSecond;
    if (!continues) {
        m_llSegmentStart = index;
        m_dSegmentFirst = phase;
        m_aldPrefix[slot] = 0.0L;
    } else {
        m_aldPrefix[slot] = m_aldPrefix[Slot(index - 1)] + (static_cast<long double>(phase) - m_dSegmentFirst);
    }
    m_allSegment[slot] = m_llSegmentStart;
    ++m_llCount;
    AddTermsEndingAt(index);

    for (std::size_t w = 0; w < 2; ++w) {
        if (++m_allSinceExact[w] >= m_allWindow[w]) Recompute(w);
    }
}

const CLiveStability::CFactor* CLiveStability::FactorOf(std::size_t m) const
{
    for (const CFactor& factor : m_factors) {
        if (factor.m_nM == m) return &factor;
    }
    return nullptr;
}

CStabilityPoint CLiveStability::Deviation(LiveWindow window, std::size_t m) const
{
    const CFactor* factor = FactorOf(m);
    if (factor == nullptr) return {};
    const CWindowSums& kept = factor->m_sums[static_cast<std::size_t>(window)];
    CStabilitySums sums;
    // Taking terms out may leave a rounding residue just below zero.
    sums.m_ldAllan = std::max(0.0L, kept.m_ldAllan);
    sums.m_nAllan = kept.m_nAllan;
    sums.m_ldModified = std::max(0.0L, kept.m_ldModified);
    sums.m_nModified = kept.m_nModified;
    return FinishStabilityPoint(sums, m, 1.0);
}

double CLiveStability::Mtie(LiveWindow window, std::size_t m) const
{
    const CFactor* factor = FactorOf(m);
    if (factor == nullptr || factor->m_spreads.empty()) return kNaN;
    if (window == LiveWindow::Day) return factor->m_spreads.front().m_dValue;
    // The hour's largest spread is the first one that starts inside it: any
    // larger one before it is older.
    const std::int64_t oldest = m_llNow - m_allWindow[0];
    const auto inside = std::upper_bound(factor->m_spreads.begin(), factor->m_spreads.end(), oldest,
                                         [](std::int64_t second, const CSpread& s) { return second < s.m_llSecond; });
    return inside == factor->m_spreads.end() ? kNaN : inside->m_dValue;
}

double CLiveStability::Margin(WanderMask mask, WanderStatistic statistic, LiveWindow window) const
{
    std::array<CTauValue, std::size(kMarginTaus)> points;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::size_t m = kMarginTaus[i];
        points[i].m_dTau = static_cast<double>(m);
        points[i].m_dValue =
            statistic == WanderStatistic::Mtie ? Mtie(window, m) : Deviation(window, m).m_tdev.m_dValue;
    }
    return MaskMargin(mask, statistic, points);
}

}  // namespace velmor
