// Setup > Antenna Delay: the cable delay in nanoseconds, sent with the
// keyword the product type (and for some types the part number) calls for.

#include <string_view>

#include "app/Program.h"
#include "config/AntennaDelayDlg.h"
#include "config/SetupCommands.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

constexpr long kMaxDelay = 999999;

// Part numbers of the units of the ANTD group that take ANT1 instead.
bool UsesAnt1(std::string_view partNumber)
{
    for (std::string_view prefix : {"512-", "524-", "518-", "530-"})
        if (partNumber.substr(0, prefix.size()) == prefix) return true;
    return false;
}

}  // namespace

void OnSetupAntennaDelay(CProgram& program)
{
    CUnitState& state = program.m_state;
    const bool wasPolling = program.m_bTimerRunning;
    if (wasPolling) program.StopPolling();

    CAntennaDelayDlg dlg;
    dlg.m_nDelay = AtoI(state.m_strAntennaDelay);
    // Cancelled: the page resumes polling on its next paint.
    if (!program.m_host.RunDialog(dlg)) return;

    long delay = dlg.m_nDelay;
    if (delay > kMaxDelay) {
        program.m_host.PlaySound(Sound::Exclamation);
        program.m_host.MessageBox(Owner::View, "Set antenna delay to its maximun 999999",
                                  Format("Antenna Delay entry error:%6ld", delay), Icon::Error);
        delay = kMaxDelay;
    }
    if (wasPolling) {
        program.ReopenAndPoll();
    }

    if (!program.m_link.m_bPortOpen) {
        const std::string text = Format("%06ld", delay);
        program.m_host.PlaySound(Sound::Hand);
        program.m_host.MessageBox(Owner::View, text, "Send ANTD Max. & Comm not active", Icon::Error);
        state.m_strAntennaDelay = text;
        return;
    }
    const int type = state.m_nProductType;
    switch (ProductTypeInfo(type).m_eAntennaDelay) {
    case AntennaDelayCommand::ByPartNumber:
        program.SendCommand(Format(UsesAnt1(state.m_strPartNumber) ? "ANT1,%06ld" : "ANTD,%06ld", delay));
        break;
    case AntennaDelayCommand::Ant1:
        program.SendCommand(Format("ANT1,%06ld", delay));
        break;
    case AntennaDelayCommand::Legacy:
        program.SendCommand(Format("EID%06ld", delay));
        break;
    case AntennaDelayCommand::Antd:
        program.SendCommand(Format("ANTD,%06ld", delay));
        break;
    case AntennaDelayCommand::None:
        program.m_host.PlaySound(Sound::Hand);
        program.m_host.MessageBox(Owner::View, Format("Unknown ProductType %2d", type), "Send ANT Delay Max.",
                                  Icon::Error);
        break;
    }
}

}  // namespace velmor
