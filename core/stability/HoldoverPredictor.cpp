#include "stability/HoldoverPredictor.h"

#include <cmath>

namespace velmor {

void CHoldoverPredictor::OnLocked(std::int64_t unitSecond, double phase, double frequency, double freeRunning)
{
    m_bHoldover = false;
    m_bLockSeen = true;
    m_llLastLocked = unitSecond;
    if (std::isfinite(phase)) m_dLastPhase = phase;
    if (std::isfinite(frequency)) m_dLastFrequency = frequency;
    if (std::isfinite(freeRunning)) {
        if (!m_fit.empty() && unitSecond - m_fit.back().m_llSecond < kFitSpacing) {
            // Within the spacing the latest value stands for the interval.
            m_fit.back().m_dFrequency = freeRunning;
        } else {
            m_fit.push_back({unitSecond, freeRunning});
        }
    }
    while (!m_fit.empty() && m_fit.front().m_llSecond <= unitSecond - kFitSeconds) m_fit.pop_front();
}

void CHoldoverPredictor::OnHoldover(std::int64_t unitSecond, double frequency)
{
    if (!m_bHoldover) {
        if (!m_bLockSeen) return;  // nothing to predict from
        m_bHoldover = true;
        m_llEntry = m_llLastLocked;
        m_dEntryPhase = m_dLastPhase;
        m_dEntryFrequency = std::isfinite(frequency) ? frequency : m_dLastFrequency;
        m_dAging = FitSlope(m_llEntry - kFitSeconds);
    }
    m_llNow = unitSecond;
}

void CHoldoverPredictor::OnOther() { m_bHoldover = false; }

void CHoldoverPredictor::Reset() { *this = CHoldoverPredictor(); }

std::optional<double> CHoldoverPredictor::Predicted() const
{
    if (!m_bHoldover) return std::nullopt;
    const double t = static_cast<double>(m_llNow - m_llEntry);
    return m_dEntryPhase + m_dEntryFrequency * t + 0.5 * m_dAging * t * t;
}

double CHoldoverPredictor::FitSlope(std::int64_t from) const
{
    // Times relative to the first sample, and the means taken out first, so
    // the sums stay well conditioned.
    std::size_t n = 0;
    std::int64_t origin = 0;
    long double sumT = 0.0L, sumY = 0.0L;
    for (const CSample& s : m_fit) {
        if (s.m_llSecond <= from) continue;
        if (n == 0) origin = s.m_llSecond;
        ++n;
        sumT += static_cast<long double>(s.m_llSecond - origin);
        sumY += s.m_dFrequency;
    }
    if (n < 2) return 0.0;
    const long double meanT = sumT / static_cast<long double>(n);
    const long double meanY = sumY / static_cast<long double>(n);
    long double stt = 0.0L, sty = 0.0L;
    std::int64_t last = origin;
    for (const CSample& s : m_fit) {
        if (s.m_llSecond <= from) continue;
        const long double t = static_cast<long double>(s.m_llSecond - origin) - meanT;
        stt += t * t;
        sty += t * (s.m_dFrequency - meanY);
        last = s.m_llSecond;
    }
    if (last - origin < kFitMinimumSpan || stt <= 0.0L) return 0.0;
    return static_cast<double>(sty / stt);
}

}  // namespace velmor
