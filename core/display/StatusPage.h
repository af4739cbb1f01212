#pragma once
// The status page: one string of fixed-pitch lines built from the unit state.
// Building it also sends commands (position-report subscriptions, status
// queries for one model, the cycles query), and it keeps track of the
// position mode whose reports were last subscribed.

#include <string>
#include <string_view>

#include "protocol/UnitState.h"

namespace velmor {

class ICommandSender {
public:
    virtual ~ICommandSender() = default;
    virtual void SendCommand(std::string_view body) = 0;
};

// The whole page, each line ended by CR LF, followed by one empty line.
// Writes only state.m_chSubscribedPositionMode. The degree sign is UTF-8.
std::string BuildStatusPage(CUnitState& state, ICommandSender& sender);

}  // namespace velmor
