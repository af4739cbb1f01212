#include "app/Program.h"
#include "config/EventTriggerDlg.h"
#include "config/SetupCommands.h"

namespace velmor {

// Setup > Event Trigger. Polling keeps running while the dialog is open so
// an EVTG reply can refill it; the command built at OK goes out after the
// dialog has closed, between stopping and restarting the poll.
void OnSetupEventTrigger(CProgram& program)
{
    const CUnitState& state = program.m_state;
    const bool polling = HasCapability(state.m_nProductType, kEventTiming) && program.m_bTimerRunning;
    CEventTriggerDlg dialog(program);
    dialog.m_strStart = state.m_strEventStart;
    dialog.m_strPeriod = state.m_strEventPeriod;
    dialog.m_strWidth = state.m_strEventWidth;
    dialog.m_strInvert = state.m_chEventInvert ? std::string(1, state.m_chEventInvert) : std::string();
    const bool ok = program.m_host.RunDialog(dialog);
    if (ok) {
        if (polling) program.StopPolling();
        program.SendCommand(dialog.m_strCommand);
    }
    if (polling) {
        program.ReopenAndPoll();
    }
}

}  // namespace velmor
