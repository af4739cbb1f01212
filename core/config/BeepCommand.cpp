#include "config/ConfigContext.h"
#include "config/BeepDlg.h"
#include "config/SetupCommands.h"
#include "text/Text.h"

namespace velmor {

// Setup > Beep Toggling. The unit's BEEP reply updates m_bBeepEnabled.
void OnSetupBeep(IConfigContext& context)
{
    if (!HasCapability(context.State().m_nProductType, kBeep)) return;
    CBeepDlg dialog;
    dialog.m_bEnabled = context.State().m_bBeepEnabled;
    const bool ok = context.Events().RunDialog(dialog);
    if (ok) context.SendCommand(Format("BEEP,%d", dialog.m_bEnabled ? 1 : 0));
}

}  // namespace velmor
