#include "config/ConfigContext.h"
#include "config/MaskAngleDlg.h"
#include "config/SetupCommands.h"
#include "text/Text.h"

namespace velmor {

namespace {

// The units set with MAG1 keep the sent value in the unit state at once; the
// others report theirs back in a MANG reply, which the dispatcher stores.
bool UsesMag1(const CUnitState& state)
{
    const std::string& part = state.m_strPartNumber;
    return HasCapability(state.m_nProductType, kMag1MaskAngle) || StartsWith(part, "512-6200-") || StartsWith(part, "518-") ||
           StartsWith(part, "530-");
}

}  // namespace

// Setup > Mask Angle.
void OnSetupMaskAngle(IConfigContext& context)
{
    const CUnitState& state = context.State();
    if (!HasCapability(state.m_nProductType, kMaskAngleCommand)) return;
    CMaskAngleDlg dialog(context);
    dialog.m_nValue = state.m_nMaskAngle;
    const bool ok = context.Events().RunDialog(dialog);
    if (!ok) return;
    if (UsesMag1(state)) {
        context.SendCommand(Format("MAG1,%d", dialog.m_nValue));
        context.NoteMaskAngle(dialog.m_nValue);
    } else {
        context.SendCommand(Format("MANG,%d", dialog.m_nValue));
    }
}

}  // namespace velmor
