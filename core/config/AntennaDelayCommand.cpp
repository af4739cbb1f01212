// Setup > Antenna Delay: the cable delay in nanoseconds, sent with the
// keyword the product type (and for some types the part number) calls for.

#include <string_view>

#include "config/ConfigContext.h"
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

void OnSetupAntennaDelay(IConfigContext& context)
{
    const CUnitState& state = context.State();
    const bool wasPolling = context.IsPolling();
    if (wasPolling) context.StopPolling();

    CAntennaDelayDlg dlg;
    dlg.m_nDelay = AtoI(state.m_strAntennaDelay);
    // Cancelled: the page resumes polling on its next paint.
    if (!context.Events().RunDialog(dlg)) return;

    long delay = dlg.m_nDelay;
    if (delay > kMaxDelay) {
        context.Events().PlaySound(Sound::Exclamation);
        context.Events().MessageBox(Owner::View, "Set antenna delay to its maximun 999999",
                                  Format("Antenna Delay entry error:%6ld", delay), Icon::Error);
        delay = kMaxDelay;
    }
    if (wasPolling) {
        context.ReopenAndPoll();
    }

    if (!context.IsPortOpen()) {
        const std::string text = Format("%06ld", delay);
        context.Events().PlaySound(Sound::Hand);
        context.Events().MessageBox(Owner::View, text, "Send ANTD Max. & Comm not active", Icon::Error);
        context.NoteAntennaDelay(text);
        return;
    }
    const int type = state.m_nProductType;
    switch (ProductTypeInfo(type).m_eAntennaDelay) {
    case AntennaDelayCommand::ByPartNumber:
        context.SendCommand(Format(UsesAnt1(state.m_strPartNumber) ? "ANT1,%06ld" : "ANTD,%06ld", delay));
        break;
    case AntennaDelayCommand::Ant1:
        context.SendCommand(Format("ANT1,%06ld", delay));
        break;
    case AntennaDelayCommand::Legacy:
        context.SendCommand(Format("EID%06ld", delay));
        break;
    case AntennaDelayCommand::Antd:
        context.SendCommand(Format("ANTD,%06ld", delay));
        break;
    case AntennaDelayCommand::None:
        context.Events().PlaySound(Sound::Hand);
        context.Events().MessageBox(Owner::View, Format("Unknown ProductType %2d", type), "Send ANT Delay Max.",
                                  Icon::Error);
        break;
    }
}

}  // namespace velmor
