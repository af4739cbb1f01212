#pragma once
// What the alarms watch for and which of their events reach the desktop:
// the thresholds and choices of the Alarm Settings dialog, kept in section
// "Alarms" of the settings file.

#include <cstdint>
#include <string>

namespace velmor {

class CProfile;

// The conditions the alarms watch, which are also the choices of desktop
// notification. Each has a raised and a cleared event (UnitEvents.h names
// them); UnitRestarted and Polling are moments, told at once.
enum class AlarmCondition : std::uint8_t {
    LockLost,         // the discipline state left Time Locked
    Holdover,         // the unit is coasting on its oscillator
    SelfTest,         // a self-test or built-in-test result is a failure
    Tfom,             // the time figure of merit is above its limit
    PpsOffset,        // the 1PPS time difference is beyond its limit
    Temperature,      // the oscillator temperature is outside its range
    DataStale,        // no time report for a while
    LinkLost,         // the serial device went away
    UnitRestarted,    // the unit identified itself again, or restarted (events only)
    Polling,          // a setup dialog paused polling (events only)
};
inline constexpr int kAlarmConditionCount = 10;

// "lock", "holdover", ... : the names of the settings file and the dialog.
const char* AlarmConditionKey(AlarmCondition condition);

struct CAlarmSettings {
    int m_nTfomLimit = 5;           // raised when the TFOM digit is above this
    int m_nPpsLimitNs = 100;        // raised when |1PPS difference| is above this; 0: not watched
    int m_nTemperatureLow = 0;      // degrees Celsius, whole degrees
    int m_nTemperatureHigh = 70;
    std::uint32_t m_uNotify = 0;    // bit per AlarmCondition: a desktop notification
    bool m_bSound = false;          // the notified events also sound

    CAlarmSettings();
    bool Notifies(AlarmCondition condition) const
    {
        return (m_uNotify >> static_cast<unsigned>(condition)) & 1u;
    }
    void SetNotify(AlarmCondition condition, bool on);
};

inline constexpr const char* kAlarmsSection = "Alarms";

// Missing or unreadable keys keep the defaults.
CAlarmSettings LoadAlarmSettings(const CProfile& profile);
void SaveAlarmSettings(CProfile& profile, const CAlarmSettings& settings);

}  // namespace velmor
