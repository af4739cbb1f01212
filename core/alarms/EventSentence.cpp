#include "alarms/EventSentence.h"

#include <string_view>

namespace velmor {

namespace {

// "unit 512-6200-04", or "the unit" before it said what it is. Only the
// characters of a part number reach the desktop: no control characters,
// and nothing a notification server would read as markup.
std::string Subject(const std::string& partNumber)
{
    std::string clean;
    for (char c : partNumber)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
            std::string_view("-_./+#").find(c) != std::string_view::npos)
            clean += c;
    if (clean.size() > 32) clean.resize(32);
    return clean.empty() ? "the unit" : "unit " + clean;
}

std::string UtcTimeOfDay(std::time_t when)
{
    std::tm parts{};
    if (::gmtime_r(&when, &parts) == nullptr) return "--:--:-- UTC";
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &parts);
    return std::string(text) + " UTC";
}

// What the unit does when it is not time-locked.
const char* UnlockedPhrase(char discipline)
{
    switch (discipline) {
    case '0': return "warming up";
    case '2': return "in holdover";
    case '3': return "recovering";
    case '4': return "in manual mode";
    case '5': return "learning";
    default: return "not locked";
    }
}

}  // namespace

std::string EventSentence(const CAlarmEvent& event, std::time_t since)
{
    const std::string unit = Subject(event.m_strPartNumber);
    const std::string at = UtcTimeOfDay(since);
    const std::string title = UnitEventTitle(event.m_event);
    const std::string values = event.m_strValues.empty() ? "" : " (" + event.m_strValues + ")";
    std::string what;
    switch (event.m_event) {
    case UnitEvent::LockAcquired: what = unit + " is time-locked since " + at; break;
    case UnitEvent::LockRegained: what = unit + " is time-locked again since " + at; break;
    case UnitEvent::LockLost: what = unit + " is " + UnlockedPhrase(event.m_chDiscipline) + " since " + at; break;
    case UnitEvent::HoldoverStarted: what = unit + " is in holdover since " + at; break;
    case UnitEvent::HoldoverEnded: what = unit + " left holdover at " + at; break;
    case UnitEvent::PollingPaused: what = unit + " is not watched while a setup dialog is open, since " + at; break;
    case UnitEvent::PollingResumed: what = unit + " is watched again since " + at; break;
    case UnitEvent::LinkLost: what = "the line to " + unit + " is down since " + at + "; reconnecting"; break;
    case UnitEvent::LinkRestored: what = unit + " is connected again since " + at; break;
    case UnitEvent::DataStale: what = "no time report from " + unit + " since " + at; break;
    case UnitEvent::DataResumed: what = unit + " reports its time again since " + at; break;
    case UnitEvent::UnitReidentified: what = unit + " answered again at " + at + " after a silence"; break;
    case UnitEvent::UnitRestarted: what = unit + " answered at " + at + " and had restarted meanwhile" + values; break;
    case UnitEvent::SelfTestFailed: what = unit + " reports a failed self-test since " + at + values; break;
    case UnitEvent::SelfTestPassed: what = unit + " reports a passed self-test since " + at + values; break;
    case UnitEvent::TfomHigh: what = unit + " reports a TFOM above the limit since " + at + values; break;
    case UnitEvent::TfomNormal: what = unit + " reports a TFOM within the limit since " + at + values; break;
    case UnitEvent::PpsOffsetHigh: what = unit + " reports a 1PPS offset beyond the limit since " + at + values; break;
    case UnitEvent::PpsOffsetNormal:
        what = unit + " reports a 1PPS offset within the limit since " + at + values;
        break;
    case UnitEvent::TemperatureOutOfRange:
        what = unit + " reports a temperature out of range since " + at + values;
        break;
    case UnitEvent::TemperatureNormal: what = unit + " reports a temperature in range since " + at + values; break;
    }
    return title + ": " + what;
}

}  // namespace velmor
