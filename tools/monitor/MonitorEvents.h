#pragma once
// The monitor's alarms: the desktop's alarm monitor (the same conditions,
// hold-off and event names) on one watched unit, and where its events go
// without a desktop: the history's events table, the journal and the
// velmor_events_total{device,event} counter. In the journal lock-lost,
// holdover-started and link-lost are errors, the other raised events
// warnings and cleared ones notices.

#include <cstdint>
#include <functional>
#include <string>

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/registry.h>

#include "MonitorLog.h"
#include "alarms/AlarmMonitor.h"
#include "alarms/AlarmSettings.h"

namespace velmor {

class CHistoryStore;

class CMonitorEvents : public IUnitObserver {
public:
    // Host UTC in milliseconds (the events table's time).
    using Clock = std::function<std::int64_t()>;

    // |settings| must outlive this; |store| may be null (no history).
    CMonitorEvents(prometheus::Registry& registry, std::string device, const CAlarmSettings& settings,
                   CHistoryStore* store, Clock clock = {});

    void OnObservation(const CObservation& observation) override { m_alarms.OnObservation(observation); }
    // The poll tick: a condition that held through its hold-off is told.
    void Tick(std::uint64_t qwNow) { m_alarms.Tick(qwNow); }

    // The journal's priority for an event, and its line's text.
    static LogLevel JournalLevel(const CAlarmEvent& event);
    static std::string JournalText(const std::string& device, const CAlarmEvent& event);

private:
    void OnEvent(const CAlarmEvent& event);

    std::string m_strDevice;
    CHistoryStore* m_pStore;
    std::string m_strStoreUnit;  // the part number the store was last told
    Clock m_clock;
    prometheus::Family<prometheus::Counter>& m_family;
    prometheus::Counter* m_apCounters[kUnitEventCount] = {};
    CAlarmMonitor m_alarms;
};

}  // namespace velmor
