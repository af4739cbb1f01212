#pragma once
// The alarms: watches what the unit reports and what the program concludes
// about the line, and tells of each change of an alarm condition as one
// event. A condition must hold for the hold-off time before it is raised or
// cleared, so a value that flaps around its limit gives no storm of events;
// the first values after the unit identified itself are the baseline and
// give none. Qt-free; the owner hands the events on (window, log, desktop).

#include <cstdint>
#include <functional>
#include <string>

#include "alarms/AlarmSettings.h"
#include "observe/Observation.h"

namespace velmor {

struct CAlarmEvent {
    AlarmCondition m_condition = AlarmCondition::LockLost;
    bool m_bRaised = false;       // the condition began (false: it ended)
    std::string m_strName;        // "lock-lost", "holdover-ended" ...
    std::string m_strValues;      // "state=Coasting" ...
    std::uint64_t m_qwTick = 0;   // the host tick at which it was decided
};

class CAlarmMonitor : public IUnitObserver {
public:
    static constexpr std::uint64_t kHoldOffMs = 5000;

    using EventSink = std::function<void(const CAlarmEvent&)>;
    // |settings| is read at every decision, so a change in the dialog holds
    // from the next report on; it must outlive the monitor.
    CAlarmMonitor(const CAlarmSettings& settings, EventSink sink);

    void OnObservation(const CObservation& observation) override;
    // From the poll tick: a condition that holds without new reports is
    // decided once its hold-off has run out.
    void Tick(std::uint64_t qwNow);

private:
    // One watched condition: what was last told (m_bActive), and a change
    // that waits out its hold-off.
    struct CWatch {
        bool m_bKnown = false;      // the baseline is set
        bool m_bActive = false;
        bool m_bPending = false;    // the raw value differs from m_bActive
        std::uint64_t m_qwSince = 0;
        std::string m_strValues;    // the values of the latest sample
    };

    void Sample(AlarmCondition condition, bool raw, std::string values, std::uint64_t qwNow);
    void Decide(AlarmCondition condition, std::uint64_t qwNow);
    void Fire(AlarmCondition condition, bool raised, const std::string& values, std::uint64_t qwNow);
    void SampleUnitData(const CObservation& observation);

    const CAlarmSettings& m_settings;
    EventSink m_sink;
    CWatch m_watches[kAlarmConditionCount];
};

// The event names of a condition: raised, then cleared.
const char* AlarmEventName(AlarmCondition condition, bool raised);

}  // namespace velmor
