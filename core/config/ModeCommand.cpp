// Setup > Mode: time scale, local offset, position mode and cold start. The
// commands differ by command family; polling is suspended while the dialog
// is open.

#include <memory>

#include "config/ConfigContext.h"
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

void SendPositionSubscriptions(IConfigContext& context)
{
    context.SendCommand("UNSL,POS1,0");
    context.SendCommand("UNSL,SPOS,0");
    context.SendCommand("UNSL,PAVG,1");
}

void SendTrmoFamily(IConfigContext& context, const CModeDlg& dlg, int prevHours, int prevMinutes)
{
    const CUnitState& state = context.State();
    const int reported = state.m_nReportedProductType;
    if (dlg.m_chTimeMode != state.m_chTimeMode || dlg.m_nHours != prevHours || dlg.m_nMinutes != prevMinutes) {
        // This family gets its time-scale command twice in a row.
        const std::string command = TrmoTimeCommand(dlg, reported);
        if (!command.empty()) {
            context.SendCommand(command);
            context.SendCommand(command);
        }
    }
    if (dlg.m_chPositionMode == state.m_chPositionMode) {
        context.StartPolling();
        return;
    }
    context.SendCommand("TRMO");
    switch (dlg.m_chPositionMode) {
    case 'D':
        context.NoteSubscribedPositionMode('D');
        if (HasCapability(reported, kPavgAfterFixedMode)) SendPositionSubscriptions(context);
        context.SendCommand("TRMO,D");
        break;
    case 'K':
        if (HasCapability(reported, kPavgAfterFixedMode)) SendPositionSubscriptions(context);
        context.SendCommand("TRMO,K");
        break;
    case 'P':
        if (HasCapability(reported, kPavgAfterAveragingMode)) {
            SendPositionSubscriptions(context);
        } else {
            context.SendCommand("UNSL,TRMO,1");
            context.SendCommand("UNSL,SPOS,1");
        }
        context.NoteSubscribedPositionMode('P');
        context.SendCommand("TRMO,P");
        break;
    default:
        break;
    }
    context.StartPolling();
}

void SendTmd1Family(IConfigContext& context, const CModeDlg& dlg)
{
    const CUnitState& state = context.State();
    switch (dlg.m_chTimeMode) {
    case '1': case 'G': context.SendCommand("TMD1,G"); break;
    case '2': case 'U': context.SendCommand("TMD1,U"); break;
    default: break;
    }
    switch (dlg.m_chPositionMode) {
    case 'D':
        context.SendCommand("PMD1,D");
        context.NoteSubscribedPositionMode('D');
        break;
    case 'K':
        context.SendCommand("PMD1,K");
        context.NoteSubscribedPositionMode('K');
        break;
    case 'P': {
        context.SendCommand("PMD1,P");
        const bool pos1 = HasCapability(state.m_nReportedProductType, kPos1OffForAveraging);
        context.SendCommand(pos1 ? "UNSL,POS1,0" : "UNSL,SPOS,0");
        context.SendCommand("UNSL,PAVG,1");
        context.NoteSubscribedPositionMode('P');
        break;
    }
    default:
        break;
    }
    context.StartPolling();
}

void SendLegacyFamily(IConfigContext& context, const CModeDlg& dlg, char prevSubscribed)
{
    switch (dlg.m_chTimeMode) {
    case '1': case 'G': context.SendCommand("TIMM,1"); break;
    case '2': case 'U': context.SendCommand("TIMM,2"); break;
    case '3': case '4':
        context.SendCommand(Format("TIMM,%c,%03d,%02d", dlg.m_chTimeMode, dlg.m_nHours, dlg.m_nMinutes));
        context.SendCommand("TMD1");
        context.SendCommand("TIMM");
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
            context.SendCommand("UNSL,EL,1");
            context.SendCommand("UNSL,LL,1");
            context.SendCommand("UNSL,PAVG,0");
            context.SendCommand(mode == 'D' ? "ETRD" : "ETRK");
            break;
        case 'S':
            context.SendCommand("UNSL,EL,0");
            context.SendCommand("UNSL,LL,0");
            context.SendCommand("UNSL,PAVG,1");
            context.SendCommand("ETRS");
            break;
        default:
            break;
        }
    }
    context.StartPolling();
}

// Refreshes the mode fields from the unit after a cancelled dialog.
void CancelAtFirstShowing(IConfigContext& context, bool wasPolling)
{
    if (!wasPolling) return;
    context.ReopenAndPoll();
    context.SendCommand("TIMM");
    const CProductType& type = ProductTypeInfo(context.State().m_nProductType);
    if (type.Has(kTrmoModeQuery)) context.SendCommand("TRMO");
    else if (type.m_eFamily == CommandFamily::Tmd1) context.SendCommand("PMD1");
}

void ColdStart(IConfigContext& context)
{
    // The flag is set before the body goes out; the send clears it.
    context.MarkColdStartPending();
    context.SendCommand(SpeaksLegacyDialect(context.State().m_nProductType) ? "RC" : "RSTG,C");
    context.MessageWindow().ShowMessage("Activate Cold Start on GPS.....", "Cold Start", 1);
    context.StopPolling();
    context.ReopenAndPoll();
}

}  // namespace

void OnSetupMode(IConfigContext& context)
{
    const CUnitState& state = context.State();
    const bool wasPolling = context.IsPolling();
    if (wasPolling) context.StopPolling();

    const int prevHours = AtoI(state.m_strLocalOffsetHours);
    const int prevMinutes = AtoI(state.m_strLocalOffsetMinutes);
    const char prevSubscribed = state.m_chSubscribedPositionMode;

    CModeDlg dlg(context);
    dlg.m_chTimeMode = state.m_chTimeMode;
    dlg.m_chPositionMode = state.m_chPositionMode;
    dlg.m_strHours = state.m_strLocalOffsetHours;
    dlg.m_strMinutes = state.m_strLocalOffsetMinutes;
    if (!context.Events().RunDialog(dlg)) {
        CancelAtFirstShowing(context, wasPolling);
        return;
    }
    // The dialog refuses such hours itself; this guards the values it hands
    // back all the same.
    CModeDlg* pResult = &dlg;
    std::unique_ptr<CModeDlg> pAgain;
    while (pResult->m_nHours < CModeDlg::kMinHours || pResult->m_nHours > CModeDlg::kMaxHours) {
        auto next = std::make_unique<CModeDlg>(context);
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
        if (!context.Events().RunDialog(*pResult)) return;
    }
    const CModeDlg& result = *pResult;

    if (result.m_bColdStart) {
        const Answer answer = context.Events().MessageBox(Owner::View, "Cold Start will take about 20 minutes.  Proceed?",
                                                        "GPS Cold Start Warning!", Icon::Warning, Buttons::OkCancel);
        if (answer == Answer::Ok) {
            ColdStart(context);
            return;
        }
    }

    if (wasPolling) context.InitComm();
    switch (CommandFamilyOf(state.m_nProductType)) {
    case CommandFamily::Trmo: SendTrmoFamily(context, result, prevHours, prevMinutes); break;
    case CommandFamily::Tmd1: SendTmd1Family(context, result); break;
    case CommandFamily::Legacy: SendLegacyFamily(context, result, prevSubscribed); break;
    case CommandFamily::None: context.StartPolling(); break;
    }
}

}  // namespace velmor
