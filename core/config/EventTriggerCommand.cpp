#include "config/ConfigContext.h"
#include "config/EventTriggerDlg.h"
#include "config/SetupCommands.h"

namespace velmor {

// Setup > Event Trigger. Polling keeps running while the dialog is open so
// an EVTG reply can refill it; the command built at OK goes out after the
// dialog has closed, between stopping and restarting the poll.
void OnSetupEventTrigger(IConfigContext& context)
{
    const CUnitState& state = context.State();
    const bool polling = HasCapability(state.m_nProductType, kEventTiming) && context.IsPolling();
    CEventTriggerDlg dialog(context);
    dialog.m_strStart = state.m_strEventStart;
    dialog.m_strPeriod = state.m_strEventPeriod;
    dialog.m_strWidth = state.m_strEventWidth;
    dialog.m_strInvert = state.m_chEventInvert ? std::string(1, state.m_chEventInvert) : std::string();
    const bool ok = context.Events().RunDialog(dialog);
    if (ok) {
        if (polling) context.StopPolling();
        context.SendCommand(dialog.m_strCommand);
    }
    if (polling) {
        context.ReopenAndPoll();
    }
}

}  // namespace velmor
