#include "config/ConfigContext.h"
#include "config/DacValueDlg.h"
#include "config/SetupCommands.h"
#include "text/Numbers.h"

namespace velmor {

// Setup > Dac Value. The dialog sends its own commands; polling goes on.
void OnSetupDacValue(IConfigContext& context)
{
    if (HasCapability(context.State().m_nProductType, kDacLocked)) return;
    CDacValueDlg dialog(context);
    dialog.m_nValue = AtoI(context.State().m_strDacValue);
    context.Events().RunDialog(dialog);
}

}  // namespace velmor
