// Identification: the PRID and MTYP replies and the subscription set.

#include "protocol/Handlers.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

std::string ProductNameFor(int productType, const std::string& partNumber)
{
    if (const char* fixed = ProductTypeInfo(productType).m_pszFixedName) return fixed;
    if (partNumber.compare(0, 11, "512-6200-03") == 0 || partNumber.compare(0, 11, "512-6200-04") == 0)
        return "Mirelle III";
    if (StartsWith(partNumber, "524-")) return "Dravin";
    if (StartsWith(partNumber, "518-")) return "Dravin II";
    if (StartsWith(partNumber, "530-")) return "Tarvox II";
    if (StartsWith(partNumber, "512-")) return "Tarvox IID";
    return {};
}

// PRID,16,512-6200-03
//      1  2
// 1 product type, 2 part number. Fields run to the next comma, so a part
// number may contain blanks.
void OnPRID(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_nProductType = AtoI(field);
    s.m_nReportedProductType = s.m_nProductType;

    if (!ctx.Field(field)) {
        ctx.Send("PRID");
        ctx.Send("GPSE");
        return;
    }
    s.m_strPartNumber = field;
    ctx.Report(Reported::Identification);

    if (!s.m_bIdentified) {
        s.m_bIdentified = true;
        SubscribeAll(s, ctx.host);
    }
    ctx.Send("BEEP");

    if (s.m_nProductType == kEmulatingType) {
        if (s.m_strPartNumber == kEmulationPartNumber) s.m_nProductType = kEmulatedType;
    } else {
        ctx.Send("MTYP");
    }

    if (IAboutDlg* about = ctx.host.AboutDlg()) {
        std::string name = ProductNameFor(s.m_nProductType, s.m_strPartNumber);
        if (!name.empty()) about->SetProductName(name);
        about->SetIdNumber(Format("%03d", s.m_nProductType));
    }

    ctx.host.OnUnitIdentified();

    if (SpeaksLegacyDialect(s.m_nProductType)) {
        s.m_chGpsChannels = '8';
        ctx.Send("TMD1");
        ctx.Send("TIMM");
        ctx.Send("ETR");
        ctx.Send("UNSL,OC,1");
    } else if (!IsSupportedProduct(s.m_nProductType)) {
        ctx.host.ShowErrorBox("Unknown PRID response:" + ctx.body, "Unknown product Error!!");
    } else {
        if (s.m_nReportedProductType == PT_UNIDENTIFIED) {
            ctx.host.RestartLink();
            ctx.Send("PRID");
            ctx.Send("GPSE");
        }
        ctx.Send("UNSL,DACV,1");
        ctx.Send("TIMM");
        ctx.Send("MANG");
        ctx.Send(HasCapability(s.m_nProductType, kTrmoSubscribeFollowUp) ? "UNSL,TRMO,1" : "TRMO");
    }
}

// MTYP,T
//      1
// Only the sixth character of the body counts: 'T' is the OEM variant.
void OnMTYP(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    s.m_nAveragingHours = 1;
    s.m_nModelVariant = (ctx.body.size() > 5 && ctx.body[5] == 'T') ? 2 : 1;
    if (IAboutDlg* about = ctx.host.AboutDlg()) {
        about->SetProductName(s.m_nModelVariant == 2 ? "VG Mirelle" : s.m_strPartNumber);
        about->SetIdNumber(Format("%03d", s.m_nProductType));
    }
}

void SubscribeAll(const CUnitState& s, ICommandSender& sender)
{
    const CProductType& type = ProductTypeInfo(s.m_nReportedProductType);
    auto send = [&](const char* body) { sender.SendCommand(body); };

    for (const char* body : {"LEAP", "ESTC", "POS1", "TODS", "TIMM", "UNSL,TEMP,1", "UNSL,LEAP,1",
                             "UNSL,ESSN,1", "UNSL,NTLC,1"})
        send(body);

    const std::string& part = s.m_strPartNumber;
    if (StartsWith(part, "530-") || StartsWith(part, "524-") || StartsWith(part, "518-") ||
        StartsWith(part, "512-")) {
        if (StartsWith(part, "512-6200-")) {
            send("UNSL,POS1,1");
            send("ANT1");
        } else {
            send("UNSL,SPOS,1");
            send("ANTD");
        }
    }

    if (type.m_eDialect != Dialect::Legacy)
        for (const char* body : {"UNSL,SIGQ,1", "UNSL,TIME,1", "UNSL,EFER,1", "UNSL,TIMD,1", "UNSL,ESSD,1"})
            send(body);

    if (type.Has(kPulseQueries))
        // These units take the lower-case pulse queries with their own framing.
        for (const char* body : {"$pule*\r\n", "$pulr*\r\n", "$pulp*\r\n", "$ofst*\r\n", "$pulw*\r\n"})
            send(body);

    switch (type.m_eSubscriptions) {
    case SubscriptionSet::Trmo:
        for (const char* body : {"ANTD", "UNSL,TRMO,1", "UNSL,DACV,1", "TAGM", "EVTG", "VERS"}) send(body);
        break;
    case SubscriptionSet::Tmd1:
        for (const char* body : {"UNSL,SIGP,1", "UNSL,EFER,1", "ANT1", "UNSL,PMD1,1", "UNSL,DACP,1"}) send(body);
        break;
    case SubscriptionSet::Legacy:
        for (const char* body : {"EID", "UNSL,BT,1", "UNSL,EF,1", "UNSL,ES,1", "UNSL,ID,1", "UNSL,MD,1",
                                 "UNSL,SD,1", "UNSL,TM,1", "UNSL,VS,1", "UNSL,OC,1", "UNSL,TR,1"})
            send(body);
        break;
    case SubscriptionSet::Emulation:
        for (const char* body : {"ANTD", "UNSL,BT,1", "UNSL,PMD1,1", "UNSL,DACP,1"}) send(body);
        break;
    case SubscriptionSet::AntennaDelay:
        send("ANTD");
        break;
    case SubscriptionSet::Common:
        break;
    }

    const char mode = s.m_chSubscribedPositionMode;
    if (mode == '?') {
        send("UNSL,PAVG,1");
        return;
    }
    const bool averaging = mode == 'P' || mode == 'S';
    send(averaging ? "UNSL,PAVG,1" : "UNSL,PAVG,0");
    switch (type.m_ePositionReports) {
    case PositionSubscription::Spos:
        send("UNSL,SPOS,1");
        break;
    case PositionSubscription::Pos1:
        send(averaging ? "UNSL,POS1,0" : "UNSL,POS1,1");
        break;
    case PositionSubscription::Legacy:
        send(averaging ? "UNSL,EL,0" : "UNSL,EL,1");
        send(averaging ? "UNSL,LL,0" : "UNSL,LL,1");
        break;
    case PositionSubscription::Pavg:
        if (averaging) {
            send("UNSL,PAVG,1");
            send("UNSL,SPOS,0");
        } else {
            send("UNSL,SPOS,0");
            send("UNSL,PAVG,1");
            send("UNSL,SPOS,0");
        }
        break;
    case PositionSubscription::SposOff:
        send("UNSL,SPOS,0");
        break;
    }
}

}  // namespace velmor
