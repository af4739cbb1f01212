#include "app/Program.h"
#include "config/DacValueDlg.h"
#include "config/SetupCommands.h"
#include "text/Numbers.h"

namespace velmor {

// Setup > Dac Value. The dialog sends its own commands; polling goes on.
void OnSetupDacValue(CProgram& program)
{
    if (HasCapability(program.m_state.m_nProductType, kDacLocked)) return;
    CDacValueDlg dialog(program);
    dialog.m_nValue = AtoI(program.m_state.m_strDacValue);
    program.m_host.RunDialog(dialog);
}

}  // namespace velmor
