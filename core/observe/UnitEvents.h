#pragma once
// The one list of event names: what the Events window shows, the daily
// events log and the history's events table record, desktop notifications
// tell and the monitor counts. Each event has its name (the text every one
// of those uses), a short title for a notification's summary, and the
// urgency a notification gets. Names are never renamed: logs and databases
// written by earlier runs use them.

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmor {

enum class UnitEvent : std::uint8_t {
    LockAcquired,           // first lock after start or after re-identification
    LockRegained,           // locked again after a lock loss
    LockLost,               // the discipline state left Time Locked
    HoldoverStarted,        // coasting on the oscillator
    HoldoverEnded,
    PollingPaused,          // a setup dialog holds polling stopped
    PollingResumed,
    LinkLost,               // the serial device went away
    LinkRestored,
    DataStale,              // no time report for the stale limit
    DataResumed,
    UnitReidentified,       // the unit identified itself again after a silence
    UnitRestarted,          // ... and showed that it restarted meanwhile
    SelfTestFailed,
    SelfTestPassed,
    TfomHigh,
    TfomNormal,
    PpsOffsetHigh,
    PpsOffsetNormal,
    TemperatureOutOfRange,
    TemperatureNormal,
};
inline constexpr int kUnitEventCount = 21;

// The urgency hint of a desktop notification (the values are the
// notification protocol's own).
enum class EventUrgency : std::uint8_t { Low = 0, Normal = 1, Critical = 2 };

// "lock-acquired", "link-lost" ...
const char* UnitEventName(UnitEvent event);
// "GPS lock lost", "Link lost" ...: a notification's summary.
const char* UnitEventTitle(UnitEvent event);
EventUrgency UnitEventUrgency(UnitEvent event);
// The event a name stands for (exact, as written); none for other text.
std::optional<UnitEvent> UnitEventFromName(std::string_view name);

}  // namespace velmor
