#pragma once
// The alarms: watches what the unit reports and what the program concludes
// about the line, and tells of each change of an alarm condition as one
// event. A condition must hold for the hold-off time before it is raised or
// cleared, so a value that flaps around its limit gives no storm of events;
// the first values after the unit identified itself are the baseline and
// give none. Moments (the unit answering again, a restart, polling paused
// or resumed) are told at once. Event names come from the one list in
// observe/UnitEvents.h. Qt-free; the owner hands the events on (window,
// log, desktop).

#include <cstdint>
#include <functional>
#include <string>

#include "alarms/AlarmSettings.h"
#include "observe/Observation.h"
#include "observe/UnitEvents.h"

namespace velmor {

struct CAlarmEvent {
    UnitEvent m_event = UnitEvent::LockLost;
    AlarmCondition m_condition = AlarmCondition::LockLost;  // the notification choice it falls under
    bool m_bRaised = false;       // the condition began (false: it ended)
    std::string m_strName;        // UnitEventName(m_event): "lock-lost", "holdover-ended" ...
    std::string m_strValues;      // "state=Coasting" ...
    std::string m_strPartNumber;  // the unit's, as it last identified itself (empty before)
    char m_chDiscipline = 0;      // the discipline state last reported ('2' coasting ...; 0 unknown)
    std::uint64_t m_qwTick = 0;       // the host tick at which it was decided
    std::uint64_t m_qwSinceTick = 0;  // the tick at which what it tells began (before the hold-off)
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
    void Fire(AlarmCondition condition, UnitEvent event, bool raised, const std::string& values, std::uint64_t qwNow,
              std::uint64_t qwSince);
    void SampleUnitData(const CObservation& observation);
    void OnMoment(const CObservation& observation);

    const CAlarmSettings& m_settings;
    EventSink m_sink;
    CWatch m_watches[kAlarmConditionCount];
    std::string m_strPartNumber;
    char m_chDiscipline = 0;
    // The unit has been seen locked since it (last) identified itself: a
    // lock after that is regained, the first one acquired.
    bool m_bLockHeld = false;
    bool m_bPollingPaused = false;
};

// The event a watched condition's change tells (the first lock after an
// identification is LockAcquired, which the monitor decides itself).
UnitEvent AlarmConditionEvent(AlarmCondition condition, bool raised);
// The event's name: AlarmConditionEvent's, from the one list.
const char* AlarmEventName(AlarmCondition condition, bool raised);
// "Time-Locked", "Coasting" ... for a discipline state; null for another character.
const char* DisciplineName(char state);

}  // namespace velmor
