#include "app/Program.h"
#include "config/SetupCommands.h"
#include "config/TimeTagDlg.h"

namespace velmor {

// Setup > Time Tag. The TAGM query goes out before the dialog opens, so its
// reply reaches the open dialog; polling keeps running meanwhile.
void OnSetupTimeTag(CProgram& program)
{
    const CUnitState& state = program.m_state;
    bool polling = false;
    if (HasCapability(state.m_nProductType, kEventTiming) && program.m_bTimerRunning) {
        program.SendCommand("TAGM");
        polling = true;
    }
    CTimeTagDlg dialog(program);
    dialog.m_chMode = state.m_chTimeTagMode;
    const bool ok = program.m_host.RunDialog(dialog);
    if (!polling) return;
    if (ok) program.StopPolling();
    program.ReopenAndPoll();
}

}  // namespace velmor
