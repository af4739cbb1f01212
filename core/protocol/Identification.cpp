// Identification: the PRID and MTYP replies and the subscription set.

#include <cstring>

#include "protocol/Handlers.h"
#include "protocol/Numbers.h"

namespace velmor {

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool InGroupA(int type)
{
    switch (type) {
    case 0: case 3: case 6: case 15: case 16: case 17: case 18: case 25: return true;
    default: return false;
    }
}

bool InGroupB(int type)
{
    switch (type) {
    case 1: case 2: case 4: case 5: case 7: case 12: case 27: return true;
    default: return false;
    }
}

}  // namespace

std::string ProductNameFor(int productType, const std::string& partNumber)
{
    if (productType == PT_22) return "Sollax II";
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

    if (s.m_nProductType == PT_0) {
        if (s.m_strPartNumber == "OrbalPlusEmu") s.m_nProductType = PT_11;
    } else {
        ctx.Send("MTYP");
    }

    if (IAboutDlg* about = ctx.host.AboutDlg()) {
        std::string name = ProductNameFor(s.m_nProductType, s.m_strPartNumber);
        if (!name.empty()) about->SetProductName(name);
        about->SetIdNumber(Format("%03d", s.m_nProductType));
    }

    ctx.host.OnUnitIdentified();

    if (s.m_nProductType == PT_9) {
        s.m_chGpsChannels = '8';
        ctx.Send("TMD1");
        ctx.Send("TIMM");
        ctx.Send("ETR");
        ctx.Send("UNSL,OC,1");
    } else if (s.m_nProductType >= PT_26) {
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
        ctx.Send(s.m_nProductType == PT_3 ? "UNSL,TRMO,1" : "TRMO");
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
    const int type = s.m_nReportedProductType;
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

    if (type != PT_9)
        for (const char* body : {"UNSL,SIGQ,1", "UNSL,TIME,1", "UNSL,EFER,1", "UNSL,TIMD,1", "UNSL,ESSD,1"})
            send(body);

    if (type >= PT_15 && type <= PT_18)
        // These units take the lower-case pulse queries with their own framing.
        for (const char* body : {"$pule*\r\n", "$pulr*\r\n", "$pulp*\r\n", "$ofst*\r\n", "$pulw*\r\n"})
            send(body);

    if (InGroupA(type)) {
        for (const char* body : {"ANTD", "UNSL,TRMO,1", "UNSL,DACV,1", "TAGM", "EVTG", "VERS"}) send(body);
    } else if (InGroupB(type)) {
        for (const char* body : {"UNSL,SIGP,1", "UNSL,EFER,1", "ANT1", "UNSL,PMD1,1", "UNSL,DACP,1"}) send(body);
    } else if (type == PT_9) {
        for (const char* body : {"EID", "UNSL,BT,1", "UNSL,EF,1", "UNSL,ES,1", "UNSL,ID,1", "UNSL,MD,1",
                                 "UNSL,SD,1", "UNSL,TM,1", "UNSL,VS,1", "UNSL,OC,1", "UNSL,TR,1"})
            send(body);
    } else if (type == PT_11) {
        for (const char* body : {"ANTD", "UNSL,BT,1", "UNSL,PMD1,1", "UNSL,DACP,1"}) send(body);
    } else if (type == PT_22) {
        send("ANTD");
    }

    const char mode = s.m_chSubscribedPositionMode;
    if (mode == '?') {
        send("UNSL,PAVG,1");
        return;
    }
    const bool averaging = mode == 'P' || mode == 'S';
    send(averaging ? "UNSL,PAVG,1" : "UNSL,PAVG,0");
    if (type == PT_0 || type == PT_6 || type == PT_11) {
        send("UNSL,SPOS,1");
    } else if (InGroupB(type)) {
        send(averaging ? "UNSL,POS1,0" : "UNSL,POS1,1");
    } else if (type == PT_9) {
        send(averaging ? "UNSL,EL,0" : "UNSL,EL,1");
        send(averaging ? "UNSL,LL,0" : "UNSL,LL,1");
    } else if ((type >= PT_15 && type <= PT_18) || type == PT_25) {
        if (averaging) {
            send("UNSL,PAVG,1");
            send("UNSL,SPOS,0");
        } else {
            send("UNSL,SPOS,0");
            send("UNSL,PAVG,1");
            send("UNSL,SPOS,0");
        }
    } else {
        send("UNSL,SPOS,0");
    }
}

}  // namespace velmor
