#include "readings/Rules.h"

namespace velmor {

bool IsLocked(DisciplineState state) { return state == DisciplineState::Locked; }

bool IsLocked(const CReadings& readings)
{
    return readings.m_disciplineState.m_value && IsLocked(readings.m_disciplineState.m_value->m_value);
}

bool SegmentBreak(const CRunSample& previous, const CRunSample& next)
{
    return next.m_bAfterMarker || next.m_llHostMs - previous.m_llHostMs > kSegmentMaxStepMs;
}

bool IsStale(std::uint64_t silenceMs) { return silenceMs >= kStaleMs; }

}  // namespace velmor
