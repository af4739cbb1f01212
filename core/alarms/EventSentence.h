#pragma once
// The plain sentence a desktop notification carries for an alarm event:
// what happened, to which unit (its part number), and since when, e.g.
// "GPS lock lost: unit 512-6200-04 is in holdover since 17:21:03 UTC".

#include <ctime>
#include <string>

#include "alarms/AlarmMonitor.h"

namespace velmor {

// |since| is the wall-clock time at which what the event tells began (for
// a condition, the start of its hold-off), shown as UTC time of day.
std::string EventSentence(const CAlarmEvent& event, std::time_t since);

}  // namespace velmor
