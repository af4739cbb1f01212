#include "config/ConfigContext.h"
#include "config/SetupCommands.h"

namespace velmor {

// Setup > Quick Start: tells the unit to bypass its oscillator warm-up. The
// Mirelle units have no such bypass.
void OnSetupQuickStart(IConfigContext& context)
{
    if (IsMirelleFamily(context.State().m_nReportedProductType)) return;
    context.Events().PlaySound(Sound::Exclamation);
    if (context.Events().MessageBox(Owner::View, "Bypass Warm Up?", "Warning: Bypass Warm Up!", Icon::Warning,
                                  Buttons::OkCancel) != Answer::Ok)
        return;
    context.SendCommand("WARM");
    context.MessageWindow().ShowMessage("Bypass Warm Up Command Has Sent", "Bypass Warm Up Confirm", 1);
}

}  // namespace velmor
