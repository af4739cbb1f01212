#include "config/ConfigContext.h"
#include "config/SetupCommands.h"
#include "config/TimeTagDlg.h"

namespace velmor {

// Setup > Time Tag. The TAGM query goes out before the dialog opens, so its
// reply reaches the open dialog; polling keeps running meanwhile.
void OnSetupTimeTag(IConfigContext& context)
{
    const CUnitState& state = context.State();
    bool polling = false;
    if (HasCapability(state.m_nProductType, kEventTiming) && context.IsPolling()) {
        context.SendCommand("TAGM");
        polling = true;
    }
    CTimeTagDlg dialog(context);
    dialog.m_chMode = state.m_chTimeTagMode;
    const bool ok = context.Events().RunDialog(dialog);
    if (!polling) return;
    if (ok) context.StopPolling();
    context.ReopenAndPoll();
}

}  // namespace velmor
