#include "app/Program.h"
#include "config/DacValueDlg.h"
#include "config/SetupCommands.h"
#include "protocol/Numbers.h"

namespace velmor {

// Setup > Dac Value. The dialog sends its own commands; polling goes on.
void OnSetupDacValue(CProgram& program)
{
    const int type = program.m_state.m_nProductType;
    if (type == PT_3 || type == PT_15 || type == PT_16) return;
    CDacValueDlg dialog(program);
    dialog.m_nValue = AtoI(program.m_state.m_strDacValue);
    program.m_host.RunDialog(dialog);
}

}  // namespace velmor
