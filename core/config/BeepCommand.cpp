#include "app/Program.h"
#include "config/BeepDlg.h"
#include "config/SetupCommands.h"
#include "text/Text.h"

namespace velmor {

// Setup > Beep Toggling. The unit's BEEP reply updates m_bBeepEnabled.
void OnSetupBeep(CProgram& program)
{
    if (!HasCapability(program.m_state.m_nProductType, kBeep)) return;
    CBeepDlg dialog;
    dialog.m_bEnabled = program.m_state.m_bBeepEnabled;
    const bool ok = program.m_host.RunDialog(dialog);
    if (ok) program.SendCommand(Format("BEEP,%d", dialog.m_bEnabled ? 1 : 0));
}

}  // namespace velmor
