// The commands that go with drawing the page: the status queries of the one
// model that answers them only when asked, the position-report subscriptions
// that follow the unit's position mode, and the cycles query near the end of
// a disciplining cycle. They are sent just before the page text is built.

#include "protocol/Subscriptions.h"

#include <cstdint>
#include <initializer_list>

#include "protocol/Numbers.h"

namespace velmor {

namespace {

// Types whose running position report is POS1 rather than SPOS.
bool ReportsPos1(int type)
{
    switch (type) {
    case PT_1: case PT_2: case PT_4: case PT_5: case PT_7: case PT_12: case PT_27:
        return true;
    default:
        return false;
    }
}

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
        if (type == PT_9) {
            send({"UNSL,PAVG,0", "UNSL,EL,1", "UNSL,LL,1", "UNSL,TR,1"}, mode);
        } else if (!unsettled) {
            return;
        } else if (type == PT_0 || type == PT_3 || type == PT_6 || type == PT_11) {
            send({"UNSL,PAVG,0", "UNSL,SPOS,1"}, mode);
        } else if (ReportsPos1(type)) {
            send({"UNSL,PAVG,0", "UNSL,POS1,1"}, mode);
        } else if (type == PT_25) {
            send({"UNSL,PAVG,1", "UNSL,SPOS,0"}, mode);
        }
    } else if (mode == 'P' || mode == 'S') {
        if (type == PT_9) {
            if (subscribed == 'S' || subscribed == 'P') return;
            send({"UNSL,PAVG,1", "UNSL,EL,0", "UNSL,LL,0"}, 'S');
            if (subscribed == '?') sender.SendCommand("TR");
        } else if (type == PT_25) {
            if (unsettled) send({"UNSL,PAVG,1", "UNSL,SPOS,0"}, 'P');
        } else if (subscribed == 'P') {
            return;
        } else if (type == PT_0 || type == PT_6) {
            send({"UNSL,SPOS,1", "UNSL,PAVG,0"}, 'P');
        } else if (ReportsPos1(type)) {
            send({"UNSL,PAVG,1", "UNSL,POS1,0", "UNSL,TRMO,1"}, 'P');
        } else if (type == PT_3 || type == PT_11) {
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
