// The commands that go with drawing the page: the status queries of the one
// model that answers them only when asked, the position-report subscriptions
// that follow the unit's position mode, and the cycles query near the end of
// a disciplining cycle. They are sent just before the page text is built.

#include "protocol/Subscriptions.h"

#include <cstdint>
#include <initializer_list>

#include "model/ProductTypes.h"
#include "text/Numbers.h"

namespace velmor {

namespace {

// Types whose running position report is POS1 rather than SPOS.
bool ReportsPos1(int type) { return CommandFamilyOf(type) == CommandFamily::Tmd1; }

// Arranges the position-report subscriptions for the mode the unit reports,
// so that the reports the page needs keep arriving after a mode change.
void SwitchPositionSubscriptions(CUnitState& state, ICommandSender& sender)
{
    const char mode = state.m_chPositionMode;
    const char subscribed = state.m_chSubscribedPositionMode;
    const int type = state.m_nProductType;
    const bool unsettled = subscribed == 'P' || subscribed == '?';

    auto send = [&](std::initializer_list<const char*> commands, char newMode) {
        for (const char* command : commands) sender.SendCommand(command);
        state.m_chSubscribedPositionMode = newMode;
    };

    if (mode == 'D' || mode == 'K') {
        if (SpeaksLegacyDialect(type)) {
            send({"UNSL,PAVG,0", "UNSL,EL,1", "UNSL,LL,1", "UNSL,TR,1"}, mode);
        } else if (!unsettled) {
            return;
        } else if (HasCapability(type, kSposWhileFixed)) {
            send({"UNSL,PAVG,0", "UNSL,SPOS,1"}, mode);
        } else if (ReportsPos1(type)) {
            send({"UNSL,PAVG,0", "UNSL,POS1,1"}, mode);
        } else if (HasCapability(type, kPavgAfterFixedMode)) {
            send({"UNSL,PAVG,1", "UNSL,SPOS,0"}, mode);
        }
    } else if (mode == 'P' || mode == 'S') {
        if (SpeaksLegacyDialect(type)) {
            if (subscribed == 'S' || subscribed == 'P') return;
            send({"UNSL,PAVG,1", "UNSL,EL,0", "UNSL,LL,0"}, 'S');
            if (subscribed == '?') sender.SendCommand("TR");
        } else if (HasCapability(type, kPavgAfterFixedMode)) {
            if (unsettled) send({"UNSL,PAVG,1", "UNSL,SPOS,0"}, 'P');
        } else if (subscribed == 'P') {
            return;
        } else if (HasCapability(type, kSposWhileAveraging)) {
            send({"UNSL,SPOS,1", "UNSL,PAVG,0"}, 'P');
        } else if (ReportsPos1(type)) {
            send({"UNSL,PAVG,1", "UNSL,POS1,0", "UNSL,TRMO,1"}, 'P');
        } else if (HasCapability(type, kPavgWhileAveraging)) {
            send({"UNSL,PAVG,1", "UNSL,SPOS,0"}, 'P');
        }
    }
}

}  // namespace

bool IsModel620003(const CUnitState& state) { return state.m_strPartNumber == "512-6200-03"; }

void SendDrawingCommands(CUnitState& state, ICommandSender& sender)
{
    // This model answers these three only when asked, so each drawing asks.
    if (IsModel620003(state)) {
        sender.SendCommand("OUTQ");
        sender.SendCommand("SSTA");
        sender.SendCommand("TIMR");
    }
    SwitchPositionSubscriptions(state, sender);

    // Once per 600 samples a cycle ends; ask for the new cycles count just
    // before. The page shows no sample count (and so asks nothing) while
    // warming up or coasting without a completed cycle.
    const char discipline = state.m_chDisciplineState;
    const bool coastingUncycled = discipline == '2' && AtoI(state.m_strCyclesCompleted) == 0;
    if (discipline == '0' || coastingUncycled) return;
    if (static_cast<std::uint32_t>(AtoI(state.m_strSamplesInCycle)) % 600 == 599) sender.SendCommand("ESTC");
}

}  // namespace velmor
