#include "alarms/AlarmMonitor.h"

#include <cstdlib>

#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

struct CConditionEvents {
    UnitEvent m_raised;
    UnitEvent m_cleared;
};

// In AlarmCondition order.
constexpr CConditionEvents kConditionEvents[kAlarmConditionCount] = {
    {UnitEvent::LockLost, UnitEvent::LockRegained},
    {UnitEvent::HoldoverStarted, UnitEvent::HoldoverEnded},
    {UnitEvent::SelfTestFailed, UnitEvent::SelfTestPassed},
    {UnitEvent::TfomHigh, UnitEvent::TfomNormal},
    {UnitEvent::PpsOffsetHigh, UnitEvent::PpsOffsetNormal},
    {UnitEvent::TemperatureOutOfRange, UnitEvent::TemperatureNormal},
    {UnitEvent::DataStale, UnitEvent::DataResumed},
    {UnitEvent::LinkLost, UnitEvent::LinkRestored},
    {UnitEvent::UnitRestarted, UnitEvent::UnitReidentified},
    {UnitEvent::PollingPaused, UnitEvent::PollingResumed},
};

std::string DisciplineValues(char state)
{
    const char* name = DisciplineName(state);
    return name ? std::string("state=") + name : "state=" + Escape(std::string(1, state));
}

// The built-in test positions the status page shows; a position beyond the
// end of the text counts as failed there too.
bool BuiltInTestFailed(const std::string& result)
{
    for (std::size_t position : {0u, 1u, 2u, 4u, 5u, 6u})
        if (position >= result.size() || result[position] != '0') return true;
    return false;
}

// The self-test character of the one model that sends it: bit 3 reports
// the antenna under current.
bool SelfTestFailed(char status) { return ((status - '0') & 8) != 0; }

}  // namespace

const char* DisciplineName(char state)
{
    switch (state) {
    case '0': return "Warm-Up";
    case '1': return "Time-Locked";
    case '2': return "Coasting";
    case '3': return "Recovering";
    case '4': return "Manual";
    case '5': return "Learning";
    default: return nullptr;
    }
}

UnitEvent AlarmConditionEvent(AlarmCondition condition, bool raised)
{
    const auto index = static_cast<unsigned>(condition);
    const CConditionEvents& events = kConditionEvents[index < kAlarmConditionCount ? index : 0];
    return raised ? events.m_raised : events.m_cleared;
}

const char* AlarmEventName(AlarmCondition condition, bool raised)
{
    return UnitEventName(AlarmConditionEvent(condition, raised));
}

CAlarmMonitor::CAlarmMonitor(const CAlarmSettings& settings, EventSink sink)
    : m_settings(settings), m_sink(std::move(sink))
{
    // The line is taken as healthy from the start: its conditions are told
    // by events, not sampled, so they have no baseline to wait for.
    m_watches[static_cast<int>(AlarmCondition::DataStale)].m_bKnown = true;
    m_watches[static_cast<int>(AlarmCondition::LinkLost)].m_bKnown = true;
}

void CAlarmMonitor::OnObservation(const CObservation& observation)
{
    const std::uint64_t now = observation.m_qwTick;
    // What was due by now is told before what this observation brings.
    Tick(now);
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled: SampleUnitData(observation); break;
    case LinkEvent::DataStale: Sample(AlarmCondition::DataStale, true, "", now); break;
    case LinkEvent::DataResumed: Sample(AlarmCondition::DataStale, false, "", now); break;
    case LinkEvent::PortLost: Sample(AlarmCondition::LinkLost, true, "", now); break;
    case LinkEvent::PortRestored: Sample(AlarmCondition::LinkLost, false, "", now); break;
    case LinkEvent::UnitReidentified:
    case LinkEvent::UnitRestarted:
    case LinkEvent::PollingPaused:
    case LinkEvent::PollingResumed: OnMoment(observation); break;
    default: break;
    }
}

void CAlarmMonitor::OnMoment(const CObservation& observation)
{
    const std::uint64_t now = observation.m_qwTick;
    const CUnitState& state = observation.m_state;
    switch (observation.m_event) {
    case LinkEvent::UnitReidentified:
        // Whatever lock it had before the silence, the next one it reports
        // is its first since it answered again (unless it is locked at once).
        m_bLockHeld = false;
        if (!state.m_strPartNumber.empty()) m_strPartNumber = state.m_strPartNumber;
        Fire(AlarmCondition::UnitRestarted, UnitEvent::UnitReidentified, false, "unit=" + Escape(m_strPartNumber),
             now, now);
        break;
    case LinkEvent::UnitRestarted:
        m_bLockHeld = false;
        Fire(AlarmCondition::UnitRestarted, UnitEvent::UnitRestarted, true,
             DisciplineValues(state.m_chDisciplineState) + " time=" + std::to_string(state.m_nYear) + " " +
                 Escape(state.m_strTimeOfDay),
             now, now);
        break;
    case LinkEvent::PollingPaused:
        if (m_bPollingPaused) break;
        m_bPollingPaused = true;
        Fire(AlarmCondition::Polling, UnitEvent::PollingPaused, true, "", now, now);
        break;
    case LinkEvent::PollingResumed:
        if (!m_bPollingPaused) break;
        m_bPollingPaused = false;
        Fire(AlarmCondition::Polling, UnitEvent::PollingResumed, false, "", now, now);
        break;
    default: break;
    }
}

void CAlarmMonitor::SampleUnitData(const CObservation& observation)
{
    const CUnitState& state = observation.m_state;
    // Before the unit has said what it is, the record holds start-up values,
    // not the unit's.
    if (!state.m_bIdentified) return;
    const std::uint64_t now = observation.m_qwTick;
    if (observation.Has(Reported::Identification) || m_strPartNumber.empty()) m_strPartNumber = state.m_strPartNumber;
    if (observation.Has(Reported::DisciplineState)) {
        const char discipline = state.m_chDisciplineState;
        m_chDiscipline = discipline;
        Sample(AlarmCondition::LockLost, discipline != '1', DisciplineValues(discipline), now);
        Sample(AlarmCondition::Holdover, discipline == '2', DisciplineValues(discipline), now);
        // Locked and settled (the baseline, or a loss that did not hold).
        const CWatch& lock = m_watches[static_cast<int>(AlarmCondition::LockLost)];
        if (!lock.m_bActive && !lock.m_bPending) m_bLockHeld = true;
    }
    if (observation.Has(Reported::Tfom) && state.m_chTfom >= '0' && state.m_chTfom <= '9') {
        const int tfom = state.m_chTfom - '0';
        Sample(AlarmCondition::Tfom, tfom > m_settings.m_nTfomLimit,
               Format("tfom=%d limit=%d", tfom, m_settings.m_nTfomLimit), now);
    }
    if (observation.Has(Reported::PpsOffset) && m_settings.m_nPpsLimitNs > 0) {
        const long long offset = state.m_nLastTimeDiff;
        Sample(AlarmCondition::PpsOffset, std::llabs(offset) > m_settings.m_nPpsLimitNs,
               Format("offset=%lld ns limit=%d ns", offset, m_settings.m_nPpsLimitNs), now);
    }
    if (observation.Has(Reported::Temperature)) {
        const double temperature = AtoF(state.m_strTemperature);
        const bool outside = temperature < m_settings.m_nTemperatureLow || temperature > m_settings.m_nTemperatureHigh;
        Sample(AlarmCondition::Temperature, outside,
               Format("temperature=%.1f C range=%d..%d C", temperature, m_settings.m_nTemperatureLow,
                      m_settings.m_nTemperatureHigh),
               now);
    }
    if (observation.Has(Reported::SelfTest)) {
        // Each family sends one of the two reports; the keyword says which.
        if (observation.m_keyword == "SSTA")
            Sample(AlarmCondition::SelfTest, SelfTestFailed(state.m_chSelfTestStatus),
                   "self-test=" + Escape(std::string(1, state.m_chSelfTestStatus)), now);
        else
            Sample(AlarmCondition::SelfTest, BuiltInTestFailed(state.m_strBuiltInTest),
                   "built-in-test=" + Escape(state.m_strBuiltInTest), now);
    }
}

void CAlarmMonitor::Sample(AlarmCondition condition, bool raw, std::string values, std::uint64_t qwNow)
{
    CWatch& watch = m_watches[static_cast<int>(condition)];
    watch.m_strValues = std::move(values);
    if (!watch.m_bKnown) {
        watch.m_bKnown = true;
        watch.m_bActive = raw;
        return;
    }
    if (raw == watch.m_bActive) {
        // Back before the hold-off ran out: nothing happened.
        watch.m_bPending = false;
        return;
    }
    if (!watch.m_bPending) {
        watch.m_bPending = true;
        watch.m_qwSince = qwNow;
    }
}

void CAlarmMonitor::Tick(std::uint64_t qwNow)
{
    for (int i = 0; i < kAlarmConditionCount; ++i) Decide(static_cast<AlarmCondition>(i), qwNow);
}

void CAlarmMonitor::Decide(AlarmCondition condition, std::uint64_t qwNow)
{
    CWatch& watch = m_watches[static_cast<int>(condition)];
    if (!watch.m_bPending || qwNow < watch.m_qwSince + kHoldOffMs) return;
    watch.m_bPending = false;
    watch.m_bActive = !watch.m_bActive;
    UnitEvent event = AlarmConditionEvent(condition, watch.m_bActive);
    if (condition == AlarmCondition::LockLost && !watch.m_bActive) {
        if (!m_bLockHeld) event = UnitEvent::LockAcquired;
        m_bLockHeld = true;
    }
    Fire(condition, event, watch.m_bActive, watch.m_strValues, qwNow, watch.m_qwSince);
}

void CAlarmMonitor::Fire(AlarmCondition condition, UnitEvent event, bool raised, const std::string& values,
                         std::uint64_t qwNow, std::uint64_t qwSince)
{
    if (!m_sink) return;
    CAlarmEvent told;
    told.m_event = event;
    told.m_condition = condition;
    told.m_bRaised = raised;
    told.m_strName = UnitEventName(event);
    told.m_strValues = values;
    told.m_strPartNumber = m_strPartNumber;
    told.m_chDiscipline = m_chDiscipline;
    told.m_qwTick = qwNow;
    told.m_qwSinceTick = qwSince;
    m_sink(told);
}

}  // namespace velmor
