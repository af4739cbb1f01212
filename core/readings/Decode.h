#pragma once
// Decodes the unit state into the typed readings after a handled sentence:
// only what the sentence carried is decoded again, and stamped with the tick.

#include <cstdint>
#include <string_view>

#include "protocol/UnitState.h"
#include "readings/Readings.h"

namespace velmor {

// |reported| is the sentence's Reported bits, |keyword| its keyword (the
// output-status report's coast field is a count, not a duration; TIME and TM
// are the time reports whether or not their fields were complete).
void UpdateReadings(CReadings& readings, const CUnitState& state, std::uint32_t reported, std::string_view keyword,
                    std::uint64_t tick);

DisciplineState DecodeDisciplineState(char raw);
TimeMode DecodeTimeMode(char raw);
PositionMode DecodePositionMode(char raw);
// The satellites the channels track, by the one rule: rows below the channel
// count (values outside 1..8 read as 8) whose PRN is a number above 0 and
// whose track mode is not '0'; in use as the status page labels "Using".
void DecodeSatellites(const CUnitState& state, std::vector<CSatellite>& satellites);

}  // namespace velmor
