// Setup > Ref Pulse Control. The pulse commands are a lower-case set that is
// handed to the send operation already framed; it frames them once more, and
// the unit takes them in that form. Polling goes on while the dialog is open.

#include <string_view>

#include "config/ConfigContext.h"
#include "config/RefPulseDlg.h"
#include "config/SetupCommands.h"
#include "text/Text.h"

namespace velmor {

void OnSetupRefPulse(IConfigContext& context)
{
    const CUnitState& state = context.State();
    for (const char* query : {"$pule*\r\n", "$pulr*\r\n", "$pulp*\r\n", "$ofst*\r\n", "$pulw*\r\n"})
        context.SendCommand(query);
    if (std::string_view(state.m_strPartNumber).substr(0, 4) == "524-") return;
    if (!HasCapability(state.m_nProductType, kRefPulseOutput)) return;

    // The replies to the queries above arrive later and leave the open dialog alone.
    CRefPulseDlg dlg(context);
    dlg.m_bAfterWarmup = state.m_bPulseAfterWarmup;
    dlg.m_bEverySecond = state.m_bPulseEverySecond;
    dlg.m_bPositive = state.m_bPulsePositive;
    dlg.m_strOffset = state.m_szPulseOffset.str();
    dlg.m_nWidth = state.m_nPulseWidth;
    dlg.m_strUserWidth = state.m_nPulseWidth > 0 ? state.m_szPulseWidth.str() : std::string();
    if (!context.Events().RunDialog(dlg)) return;

    context.SendCommand(dlg.m_bAfterWarmup ? "$pule,0*\r\n" : "$pule,1*\r\n");
    context.SendCommand(dlg.m_bEverySecond ? "$pulr,1*\r\n" : "$pulr,2*\r\n");
    context.SendCommand(dlg.m_bPositive ? "$pulp,+*\r\n" : "$pulp,-*\r\n");
    context.SendCommand(Format("$ofst,%s*", dlg.m_strOffset.c_str()));
    context.SendCommand(Format("$pulw,%d*", dlg.m_nWidth));
}

}  // namespace velmor
