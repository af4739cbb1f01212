#pragma once
// The commands the program sends on its own to keep the reports coming that
// the page needs.

#include "protocol/ReplyHost.h"
#include "protocol/UnitState.h"

namespace velmor {

// The commands that go with each drawing of the page, in the order the page
// has always sent them. Writes only state.m_chSubscribedPositionMode.
void SendDrawingCommands(CUnitState& state, ICommandSender& sender);

// The one model whose extra queries and page lines hang on its part number.
bool IsModel620003(const CUnitState& state);

}  // namespace velmor
