#include "readings/Rules.h"

namespace velmor {

bool IsLocked(DisciplineState state) { return state == DisciplineState::Locked; }

bool IsLocked(const CReadings& readings)
{
    return readings.m_disciplineState.m_value && IsLocked(readings.m_disciplineState.m_value->m_value);
}

bool SegmentBreak(const CRunSample& previous, const CRunSample& next)
{
    if (next.m_bAfterMarker) return true;
    if (previous.m_llUnitSecond && next.m_llUnitSecond) return *next.m_llUnitSecond - *previous.m_llUnitSecond != 1;
    const std::int64_t stepMs = next.m_llHostMs - previous.m_llHostMs;
    return stepMs <= 0 || stepMs > kSegmentMaxStepMs;
}

bool CSettledLock::Step(bool locked, std::int64_t atMs, bool afterMarker)
{
    const bool gap = m_bLocked && (atMs < m_llLastMs || atMs - m_llLastMs > static_cast<std::int64_t>(kStaleMs));
    if (!locked || afterMarker || gap) m_bLocked = false;
    if (locked && !m_bLocked) {
        m_bLocked = true;
        m_llSinceMs = atMs;
    }
    m_llLastMs = atMs;
    return m_bLocked && atMs - m_llSinceMs >= std::int64_t{m_nSettleSeconds} * 1000;
}

bool IsStale(std::uint64_t silenceMs) { return silenceMs >= kStaleMs; }

}  // namespace velmor
