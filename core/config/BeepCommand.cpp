#include "app/Program.h"
#include "config/BeepDlg.h"
#include "config/SetupCommands.h"
#include "protocol/Numbers.h"

namespace velmor {

// Setup > Beep Toggling. The unit's BEEP reply updates m_bBeepEnabled.
void OnSetupBeep(CProgram& program)
{
    switch (program.m_state.m_nProductType) {
    case PT_0: case PT_4: case PT_5: case PT_6: case PT_7: case PT_9: case PT_11: case PT_12: case PT_25:
        break;
    default:
        return;
    }
    CBeepDlg dialog;
    dialog.m_bEnabled = program.m_state.m_bBeepEnabled;
    const bool ok = program.m_host.RunDialog(dialog);
    if (ok) program.SendCommand(Format("BEEP,%d", dialog.m_bEnabled ? 1 : 0));
}

}  // namespace velmor
