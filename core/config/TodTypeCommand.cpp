#include "config/ConfigContext.h"
#include "config/SetupCommands.h"
#include "config/TodRateDlg.h"
#include "text/Text.h"

namespace velmor {

// Setup > TOD Type.
void OnSetupTodType(IConfigContext& context)
{
    const CUnitState& state = context.State();
    if (!HasCapability(state.m_nProductType, kTodTypeCommand)) return;
    CTodRateDlg dialog(context);
    // Rate 1 is position 0; a rate of 0 (never reported) shows position 0 too,
    // a negative one nothing.
    const int rate = state.m_nTodRate;
    dialog.m_nPosition = rate == 0 ? 0 : rate < 0 ? -1 : rate - 1;
    const bool ok = context.Events().RunDialog(dialog);
    if (!ok) return;
    context.NoteTodRate(dialog.m_nPosition + 1);
    context.SendCommand(Format("TODS,%1d", state.m_nTodRate));
}

}  // namespace velmor
