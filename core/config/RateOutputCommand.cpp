#include "app/Program.h"
#include "config/RateOutputDlg.h"
#include "config/SetupCommands.h"

namespace velmor {

// Setup > Rate Output. Polling keeps running while the dialog is open so the
// unit's ROUT replies reach it; only afterwards is the link reset.
void OnSetupRateOutput(CProgram& program)
{
    const bool polling = program.m_bTimerRunning;
    program.SendCommand("ROUT");
    CRateOutputDlg dialog(program);
    const bool ok = program.m_host.RunDialog(dialog);
    if (!polling) return;
    if (ok) program.StopPolling();
    program.ReopenAndPoll();
}

}  // namespace velmor
