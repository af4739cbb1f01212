#include "MonitorEvents.h"

#include "history/HistoryStore.h"
#include "history/HistoryTime.h"

namespace velmor {

CMonitorEvents::CMonitorEvents(prometheus::Registry& registry, std::string device, const CAlarmSettings& settings,
                               CHistoryStore* store, Clock clock)
    : m_strDevice(std::move(device)), m_pStore(store), m_clock(clock ? std::move(clock) : Clock(SystemUtcMs)),
      m_family(prometheus::BuildCounter()
                   .Name("velmor_events_total")
                   .Help("Alarm events told, by event name")
                   .Register(registry)),
      m_alarms(settings, [this](const CAlarmEvent& event) { OnEvent(event); })
{
    // Every name from the start at 0: an increase() over a counter that
    // appears with its first event would miss that event.
    for (int i = 0; i < kUnitEventCount; ++i)
        m_apCounters[i] =
            &m_family.Add({{"device", m_strDevice}, {"event", UnitEventName(static_cast<UnitEvent>(i))}});
}

LogLevel CMonitorEvents::JournalLevel(const CAlarmEvent& event)
{
    switch (event.m_event) {
    case UnitEvent::LockLost:
    case UnitEvent::HoldoverStarted:
    case UnitEvent::LinkLost: return LogLevel::Error;
    default: return event.m_bRaised ? LogLevel::Warning : LogLevel::Notice;
    }
}

std::string CMonitorEvents::JournalText(const std::string& device, const CAlarmEvent& event)
{
    std::string text = device + ": " + event.m_strName;
    if (!event.m_strValues.empty()) text += " " + event.m_strValues;
    if (!event.m_strPartNumber.empty()) text += " (unit " + event.m_strPartNumber + ")";
    return text;
}

void CMonitorEvents::OnEvent(const CAlarmEvent& event)
{
    const auto index = static_cast<unsigned>(event.m_event);
    if (index < kUnitEventCount) m_apCounters[index]->Increment();
    Log(JournalLevel(event), JournalText(m_strDevice, event));
    if (m_pStore == nullptr) return;
    // Several units may share the store: the event is this unit's, so the
    // unit is named before it (the recorder names its own again before its
    // next row). Firmware and type are left as the recorder wrote them.
    if (m_pStore->ClaimUnit(this) || event.m_strPartNumber != m_strStoreUnit) {
        m_strStoreUnit = event.m_strPartNumber;
        m_pStore->SetUnit(event.m_strPartNumber, m_strDevice, "", -1);
    }
    m_pStore->AppendEvent(m_clock(), event.m_strName, event.m_strValues);
}

}  // namespace velmor
