#include "observe/UnitEvents.h"

namespace velmor {

namespace {

struct CEventRow {
    UnitEvent m_event;
    const char* m_pszName;
    const char* m_pszTitle;
    EventUrgency m_urgency;
};

// In UnitEvent order (checked where it is read).
constexpr CEventRow kEvents[kUnitEventCount] = {
    {UnitEvent::LockAcquired, "lock-acquired", "GPS lock acquired", EventUrgency::Normal},
    {UnitEvent::LockRegained, "lock-regained", "GPS lock regained", EventUrgency::Normal},
    {UnitEvent::LockLost, "lock-lost", "GPS lock lost", EventUrgency::Critical},
    {UnitEvent::HoldoverStarted, "holdover-started", "Holdover started", EventUrgency::Critical},
    {UnitEvent::HoldoverEnded, "holdover-ended", "Holdover ended", EventUrgency::Normal},
    {UnitEvent::PollingPaused, "polling-paused", "Polling paused", EventUrgency::Normal},
    {UnitEvent::PollingResumed, "polling-resumed", "Polling resumed", EventUrgency::Normal},
    {UnitEvent::LinkLost, "link-lost", "Link lost", EventUrgency::Critical},
    {UnitEvent::LinkRestored, "link-restored", "Link restored", EventUrgency::Normal},
    {UnitEvent::DataStale, "data-stale", "Data stale", EventUrgency::Normal},
    {UnitEvent::DataResumed, "data-resumed", "Data resumed", EventUrgency::Normal},
    {UnitEvent::UnitReidentified, "unit-reidentified", "Unit identified again", EventUrgency::Normal},
    {UnitEvent::UnitRestarted, "unit-restarted", "Unit restarted", EventUrgency::Normal},
    {UnitEvent::SelfTestFailed, "self-test-failed", "Self-test failed", EventUrgency::Normal},
    {UnitEvent::SelfTestPassed, "self-test-passed", "Self-test passed", EventUrgency::Normal},
    {UnitEvent::TfomHigh, "tfom-high", "TFOM high", EventUrgency::Normal},
    {UnitEvent::TfomNormal, "tfom-normal", "TFOM normal", EventUrgency::Normal},
    {UnitEvent::PpsOffsetHigh, "pps-offset-high", "1PPS offset high", EventUrgency::Normal},
    {UnitEvent::PpsOffsetNormal, "pps-offset-normal", "1PPS offset normal", EventUrgency::Normal},
    {UnitEvent::TemperatureOutOfRange, "temperature-out-of-range", "Temperature out of range", EventUrgency::Normal},
    {UnitEvent::TemperatureNormal, "temperature-normal", "Temperature normal", EventUrgency::Normal},
};

constexpr bool InOrder()
{
    for (int i = 0; i < kUnitEventCount; ++i)
        if (static_cast<int>(kEvents[i].m_event) != i) return false;
    return true;
}
static_assert(InOrder(), "the event table follows UnitEvent");

const CEventRow& Row(UnitEvent event)
{
    const auto index = static_cast<unsigned>(event);
    return kEvents[index < kUnitEventCount ? index : 0];
}

}  // namespace

const char* UnitEventName(UnitEvent event) { return Row(event).m_pszName; }
const char* UnitEventTitle(UnitEvent event) { return Row(event).m_pszTitle; }
EventUrgency UnitEventUrgency(UnitEvent event) { return Row(event).m_urgency; }

std::optional<UnitEvent> UnitEventFromName(std::string_view name)
{
    for (const CEventRow& row : kEvents)
        if (name == row.m_pszName) return row.m_event;
    return std::nullopt;
}

}  // namespace velmor
