// Setup > Mode: time scale, local offset, position mode and cold start. The
// commands differ by command family; polling is suspended while the dialog
// is open.

#include <memory>

#include "app/Program.h"
#include "config/ModeDlg.h"
#include "config/SetupCommands.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

// The TIMM body for a TRMO-family unit; empty for manual time, which went out
// as MANM while the dialog was open.
std::string TrmoTimeCommand(const CModeDlg& dlg, int reportedType)
{
    switch (dlg.m_chTimeMode) {
    case '1': case 'G': return "TIMM,1,00";
    case '2': case 'U': return "TIMM,2,00";
    case '3': case '4': {
        const char scale = dlg.m_chTimeMode;
        const CProductType& reported = ProductTypeInfo(reportedType);
        if (reported.Has(kHoursOnlyOffset)) return Format("TIMM,%c,%02d", scale, dlg.m_nHours);
        if (reported.Has(kUnsignedOffsetMinutes) || dlg.m_nHours >= 0)
            return Format("TIMM,%c,%03d,%02d", scale, dlg.m_nHours, dlg.m_nMinutes);
        return Format("TIMM,%c,%03d,-%02d", scale, dlg.m_nHours, dlg.m_nMinutes);
    }
    default: return {};
    }
}

void SendPositionSubscriptions(CProgram& program)
{
    program.SendCommand("UNSL,POS1,0");
    program.SendCommand("UNSL,SPOS,0");
    program.SendCommand("UNSL,PAVG,1");
}

void SendTrmoFamily(CProgram& program, const CModeDlg& dlg, int prevHours, int prevMinutes)
{
    CUnitState& state = program.m_state;
    const int reported = state.m_nReportedProductType;
    if (dlg.m_chTimeMode != state.m_chTimeMode || dlg.m_nHours != prevHours || dlg.m_nMinutes != prevMinutes) {
        // This family gets its time-scale command twice in a row.
        const std::string command = TrmoTimeCommand(dlg, reported);
        if (!command.empty()) {
            program.SendCommand(command);
            program.SendCommand(command);
        }
    }
    if (dlg.m_chPositionMode == state.m_chPositionMode) {
        program.StartPolling();
        return;
    }
    program.SendCommand("TRMO");
    switch (dlg.m_chPositionMode) {
    case 'D':
        state.m_chSubscribedPositionMode = 'D';
        if (HasCapability(reported, kPavgAfterFixedMode)) SendPositionSubscriptions(program);
        program.SendCommand("TRMO,D");
        break;
    case 'K':
        if (HasCapability(reported, kPavgAfterFixedMode)) SendPositionSubscriptions(program);
        program.SendCommand("TRMO,K");
        break;
    case 'P':
        if (HasCapability(reported, kPavgAfterAveragingMode)) {
            SendPositionSubscriptions(program);
        } else {
            program.SendCommand("UNSL,TRMO,1");
            program.SendCommand("UNSL,SPOS,1");
        }
        state.m_chSubscribedPositionMode = 'P';
        program.SendCommand("TRMO,P");
        break;
    default:
        break;
    }
    program.StartPolling();
}

void SendTmd1Family(CProgram& program, const CModeDlg& dlg)
{
    CUnitState& state = program.m_state;
    switch (dlg.m_chTimeMode) {
    case '1': case 'G': program.SendCommand("TMD1,G"); break;
    case '2': case 'U': program.SendCommand("TMD1,U"); break;
    default: break;
    }
    switch (dlg.m_chPositionMode) {
    case 'D':
        program.SendCommand("PMD1,D");
        state.m_chSubscribedPositionMode = 'D';
        break;
    case 'K':
        program.SendCommand("PMD1,K");
        state.m_chSubscribedPositionMode = 'K';
        break;
    case 'P': {
        program.SendCommand("PMD1,P");
        const bool pos1 = HasCapability(state.m_nReportedProductType, kPos1OffForAveraging);
        program.SendCommand(pos1 ? "UNSL,POS1,0" : "UNSL,SPOS,0");
        program.SendCommand("UNSL,PAVG,1");
        state.m_chSubscribedPositionMode = 'P';
        break;
    }
    default:
        break;
    }
    program.StartPolling();
}

void SendLegacyFamily(CProgram& program, const CModeDlg& dlg, char prevSubscribed)
{
    switch (dlg.m_chTimeMode) {
    case '1': case 'G': program.SendCommand("TIMM,1"); break;
    case '2': case 'U': program.SendCommand("TIMM,2"); break;
    case '3': case '4':
        program.SendCommand(Format("TIMM,%c,%03d,%02d", dlg.m_chTimeMode, dlg.m_nHours, dlg.m_nMinutes));
        program.SendCommand("TMD1");
        program.SendCommand("TIMM");
        break;
    default:
        break;
    }
    // The legacy unit calls position averaging "survey".
    const char mode = dlg.m_chPositionMode == 'P' ? 'S' : dlg.m_chPositionMode;
    if (mode != prevSubscribed) {
        switch (mode) {
        case 'D':
        case 'K':
            program.SendCommand("UNSL,EL,1");
            program.SendCommand("UNSL,LL,1");
            program.SendCommand("UNSL,PAVG,0");
            program.SendCommand(mode == 'D' ? "ETRD" : "ETRK");
            break;
        case 'S':
            program.SendCommand("UNSL,EL,0");
            program.SendCommand("UNSL,LL,0");
            program.SendCommand("UNSL,PAVG,1");
            program.SendCommand("ETRS");
            break;
        default:
            break;
        }
    }
    program.StartPolling();
}

// Refreshes the mode fields from the unit after a cancelled dialog.
void CancelAtFirstShowing(CProgram& program, bool wasPolling)
{
    if (!wasPolling) return;
    program.ReopenAndPoll();
    program.SendCommand("TIMM");
    const CProductType& type = ProductTypeInfo(program.m_state.m_nProductType);
    if (type.Has(kTrmoModeQuery)) program.SendCommand("TRMO");
    else if (type.m_eFamily == CommandFamily::Tmd1) program.SendCommand("PMD1");
}

void ColdStart(CProgram& program)
{
    // The flag is set before the body goes out; the send clears it.
    program.m_link.m_bColdStartPending = true;
    program.SendCommand(SpeaksLegacyDialect(program.m_state.m_nProductType) ? "RC" : "RSTG,C");
    program.m_wndMessage.ShowMessage("Activate Cold Start on GPS.....", "Cold Start", 1);
    program.StopPolling();
    program.ReopenAndPoll();
}

}  // namespace

void OnSetupMode(CProgram& program)
{
    CUnitState& state = program.m_state;
    const bool wasPolling = program.m_bTimerRunning;
    if (wasPolling) program.StopPolling();

    const int prevHours = AtoI(state.m_strLocalOffsetHours);
    const int prevMinutes = AtoI(state.m_strLocalOffsetMinutes);
    const char prevSubscribed = state.m_chSubscribedPositionMode;

    CModeDlg dlg(program);
    dlg.m_chTimeMode = state.m_chTimeMode;
    dlg.m_chPositionMode = state.m_chPositionMode;
    dlg.m_strHours = state.m_strLocalOffsetHours;
    dlg.m_strMinutes = state.m_strLocalOffsetMinutes;
    if (!program.m_host.RunDialog(dlg)) {
        CancelAtFirstShowing(program, wasPolling);
        return;
    }
    // The dialog refuses such hours itself; this guards the values it hands
    // back all the same.
    CModeDlg* pResult = &dlg;
    std::unique_ptr<CModeDlg> pAgain;
    while (pResult->m_nHours < CModeDlg::kMinHours || pResult->m_nHours > CModeDlg::kMaxHours) {
        auto next = std::make_unique<CModeDlg>(program);
        next->m_chTimeMode = pResult->m_chTimeMode;
        next->m_chPositionMode = pResult->m_chPositionMode;
        next->m_nHours = pResult->m_nHours;
        next->m_nMinutes = pResult->m_nMinutes;
        next->m_strHours = pResult->m_strHours;
        next->m_strMinutes = pResult->m_strMinutes;
        next->m_bColdStart = pResult->m_bColdStart;
        next->m_bCorrection = true;
        pAgain = std::move(next);
        pResult = pAgain.get();
        // Cancelled while correcting: the page resumes polling on its next paint.
        if (!program.m_host.RunDialog(*pResult)) return;
    }
    const CModeDlg& result = *pResult;

    if (result.m_bColdStart) {
        const Answer answer = program.m_host.MessageBox(Owner::View, "Cold Start will take about 20 minutes.  Proceed?",
                                                        "GPS Cold Start Warning!", Icon::Warning, Buttons::OkCancel);
        if (answer == Answer::Ok) {
            ColdStart(program);
            return;
        }
    }

    if (wasPolling) program.InitComm();
    switch (CommandFamilyOf(state.m_nProductType)) {
    case CommandFamily::Trmo: SendTrmoFamily(program, result, prevHours, prevMinutes); break;
    case CommandFamily::Tmd1: SendTmd1Family(program, result); break;
    case CommandFamily::Legacy: SendLegacyFamily(program, result, prevSubscribed); break;
    case CommandFamily::None: program.StartPolling(); break;
    }
}

}  // namespace velmor
