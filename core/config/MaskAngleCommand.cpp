#include "app/Program.h"
#include "config/MaskAngleDlg.h"
#include "config/SetupCommands.h"
#include "protocol/Numbers.h"

namespace velmor {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The units set with MAG1 keep the sent value in the unit state at once; the
// others report theirs back in a MANG reply, which the dispatcher stores.
bool UsesMag1(const CUnitState& state)
{
    const std::string& part = state.m_strPartNumber;
    return state.m_nProductType == PT_22 || StartsWith(part, "512-6200-") || StartsWith(part, "518-") ||
           StartsWith(part, "530-");
}

}  // namespace

// Setup > Mask Angle.
void OnSetupMaskAngle(CProgram& program)
{
    CUnitState& state = program.m_state;
    switch (state.m_nProductType) {
    case PT_4: case PT_5: case PT_7: case PT_11: case PT_12: case PT_15: case PT_16: case PT_22: case PT_25:
        break;
    default:
        return;
    }
    CMaskAngleDlg dialog(program);
    dialog.m_nValue = state.m_nMaskAngle;
    const bool ok = program.m_host.RunDialog(dialog);
    if (!ok) return;
    if (UsesMag1(state)) {
        program.SendCommand(Format("MAG1,%d", dialog.m_nValue));
        state.m_nMaskAngle = dialog.m_nValue;
    } else {
        program.SendCommand(Format("MANG,%d", dialog.m_nValue));
    }
}

}  // namespace velmor
