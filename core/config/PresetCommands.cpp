#include "config/ConfigContext.h"
#include "config/SetupCommands.h"

namespace velmor {

// The two factory presets of the Mirelle units.
// The unit restarts, possibly at another line rate, so both end with the
// serial-port settings.

namespace {

bool IsMirelle(const IConfigContext& context) { return IsMirelleFamily(context.State().m_nReportedProductType); }

bool Confirm(IConfigContext& context, const char* text, const char* caption)
{
    context.Events().PlaySound(Sound::Exclamation);
    return context.Events().MessageBox(Owner::View, text, caption, Icon::Warning, Buttons::OkCancel) == Answer::Ok;
}

}  // namespace

void OnSetupPreset1(IConfigContext& context)
{
    if (!IsMirelle(context)) return;
    if (!Confirm(context, "Press OK to Initiate Mirelle Factory Reset and Restart Unit!", "Mirelle Factory Reset"))
        return;
    context.SendCommand("factoryreset");
    context.MessageWindow().ShowMessage("Please Close Velmor and then Restart",
                                     "Factory Reset Initiated.  Wait for Unit Restarting..", 1);
    context.OnComSetup();
}

void OnSetupPreset2(IConfigContext& context)
{
    if (!IsMirelle(context)) return;
    if (!Confirm(context, "Press OK to configure unit to the Vantor Grid default setting and Restart Unit!",
                 "Vantor Grid Factory Reset"))
        return;
    context.SendCommand("PRESET2");
    context.OnComSetup();
    context.ReopenAndPoll();
    context.Events().RedrawViewNow();
}

}  // namespace velmor
