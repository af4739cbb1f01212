#include "app/Program.h"
#include "config/SetupCommands.h"

namespace velmor {

// The two factory presets of the Mirelle units.
// The unit restarts, possibly at another line rate, so both end with the
// serial-port settings.

namespace {

bool IsMirelle(const CProgram& program) { return IsMirelleFamily(program.m_state.m_nReportedProductType); }

bool Confirm(CProgram& program, const char* text, const char* caption)
{
    program.m_host.PlaySound(Sound::Exclamation);
    return program.m_host.MessageBox(Owner::View, text, caption, Icon::Warning, Buttons::OkCancel) == Answer::Ok;
}

}  // namespace

void OnSetupPreset1(CProgram& program)
{
    if (!IsMirelle(program)) return;
    if (!Confirm(program, "Press OK to Initiate Mirelle Factory Reset and Restart Unit!", "Mirelle Factory Reset"))
        return;
    program.SendCommand("factoryreset");
    program.m_wndMessage.ShowMessage("Please Close Velmor and then Restart",
                                     "Factory Reset Initiated.  Wait for Unit Restarting..", 1);
    program.OnComSetup();
}

void OnSetupPreset2(CProgram& program)
{
    if (!IsMirelle(program)) return;
    if (!Confirm(program, "Press OK to configure unit to the Vantor Grid default setting and Restart Unit!",
                 "Vantor Grid Factory Reset"))
        return;
    program.SendCommand("PRESET2");
    program.OnComSetup();
    program.ReopenAndPoll();
    program.m_host.RedrawViewNow();
}

}  // namespace velmor
