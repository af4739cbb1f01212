#include "counter/CounterRowTap.h"

#include <algorithm>

#include "history/HistoryTime.h"

namespace velmor {

std::int64_t CCounterRowTap::RowClock()
{
    // Two reports handled in one millisecond still get rows of their own
    // time: a counter sample names its row by it.
    m_llLastRowMs = std::max(SystemUtcMs(), m_llLastRowMs + 1);
    m_bRowTaken = true;
    return m_llLastRowMs;
}

void CCounterRowTap::OnObservation(const CObservation& o)
{
    if (o.m_event != LinkEvent::SentenceHandled || !m_bRowTaken) return;
    m_bRowTaken = false;
    if (!o.m_readings.JustReported(o.m_readings.m_unitTime)) return;
    if (m_listener) m_listener(o.m_qwTick, m_llLastRowMs);
}

}  // namespace velmor
