#pragma once
// The status page: one string of fixed-pitch lines built from the unit state.
// Building it only formats; the commands that go with each drawing are sent
// by SendDrawingCommands (protocol/Subscriptions.h) just before.

#include <string>
#include <string_view>

#include "protocol/UnitState.h"

namespace velmor {

// The whole page, each line ended by CR LF, followed by one empty line.
// The degree sign is UTF-8.
std::string BuildStatusPage(const CUnitState& state);

}  // namespace velmor
