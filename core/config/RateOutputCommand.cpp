#include "config/ConfigContext.h"
#include "config/RateOutputDlg.h"
#include "config/SetupCommands.h"

namespace velmor {

// Setup > Rate Output. Polling keeps running while the dialog is open so the
// unit's ROUT replies reach it; only afterwards is the link reset.
void OnSetupRateOutput(IConfigContext& context)
{
    const bool polling = context.IsPolling();
    context.SendCommand("ROUT");
    CRateOutputDlg dialog(context);
    const bool ok = context.Events().RunDialog(dialog);
    if (!polling) return;
    if (ok) context.StopPolling();
    context.ReopenAndPoll();
}

}  // namespace velmor
