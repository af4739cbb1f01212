#pragma once
// Prints one member of the unit state by its source name, so a transcript
// can show exactly what a reply stored: "m_nProductType",
// "m_position.m_strLatMinutes", "m_aSatellites[3].m_nStrength",
// "m_anTimeDiff[2]".

#include <optional>
#include <string>
#include <string_view>

#include "protocol/UnitState.h"

namespace velmor::replay {

// "NAME = VALUE": texts in double quotes and characters in single quotes,
// both escaped; integers in decimal; doubles and floats with %g; booleans
// as 0 or 1. Empty when |name| names no member.
std::optional<std::string> FormatStateMember(const CUnitState& state, std::string_view name);

bool IsStateName(std::string_view name);

}  // namespace velmor::replay
