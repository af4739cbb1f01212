#include "app/Program.h"
#include "config/SetupCommands.h"

namespace velmor {

// Setup > Quick Start: tells the unit to bypass its oscillator warm-up. The
// Mirelle units have no such bypass.
void OnSetupQuickStart(CProgram& program)
{
    if (IsMirelleFamily(program.m_state.m_nReportedProductType)) return;
    program.m_host.PlaySound(Sound::Exclamation);
    if (program.m_host.MessageBox(Owner::View, "Bypass Warm Up?", "Warning: Bypass Warm Up!", Icon::Warning,
                                  Buttons::OkCancel) != Answer::Ok)
        return;
    program.SendCommand("WARM");
    program.m_wndMessage.ShowMessage("Bypass Warm Up Command Has Sent", "Bypass Warm Up Confirm", 1);
}

}  // namespace velmor
