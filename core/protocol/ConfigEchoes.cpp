// Configuration echoes and dialog replies. Most echoes only store the setting
// the dialogs preset themselves from; the About, Event Trigger, Rate Output
// and Time Tag replies also write into their dialog while it is open.

#include "protocol/Handlers.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

// Appends the next comma field to |text|; a missing field adds nothing.
void AppendField(CDispatchContext& ctx, std::string& text)
{
    std::string field;
    if (ctx.Field(field)) text += field;
}

// The time tag line "001) 123 04:05:06.1234567"; a missing field leaves its
// piece empty.
void AddTimeTagLine(CDispatchContext& ctx)
{
    ITimeTagDlg* dialog = ctx.host.TimeTagDlg();
    if (!dialog) return;
    std::string f[6];
    for (std::string& piece : f) ctx.Field(piece);
    dialog->AddLine(f[0] + ") " + f[1] + " " + f[2] + ":" + f[3] + ":" + f[4] + "." + f[5]);
}

}  // namespace

// PULE,1
//      1
// 1 reference pulse enable: '0' only after warm-up, '1' always.
void OnPULE(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_bPulseAfterWarmup = rest[0] == '0';
}

// PULR,1
//      1
// 1 reference pulse rate: '1' every second, '2' every even second.
void OnPULR(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_bPulseEverySecond = rest[0] == '1';
}

// PULP,+
//      1
// 1 reference pulse edge: '+' positive, '-' negative.
void OnPULP(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_bPulsePositive = rest[0] == '+';
}

// OFST,-000000150
//      1
// 1 reference pulse offset, nanoseconds, signed.
void OnOFST(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_szPulseOffset = rest;
}

// PULW,200
//      1
// 1 reference pulse width.
void OnPULW(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_szPulseWidth = rest;
    ctx.state.m_nPulseWidth = AtoI(rest);
}

// ANTD,-000150
//      1
// 1 antenna cable delay, nanoseconds; the sign is not kept.
void OnANTD(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_strAntennaDelay = IsSign(rest[0]) ? rest.substr(1) : rest;
}

// ANT1,000150
//      1
// 1 antenna cable delay, stored as sent.
void OnANT1(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_strAntennaDelay = rest;
}

// ID 000150
//    1
// The legacy unit's antenna delay, stored as sent.
void OnID(CDispatchContext& ctx) { OnANT1(ctx); }

// BEEP,1
//      1
// 1 beeper: '0' disabled, anything else enabled.
void OnBEEP(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_bBeepEnabled = rest[0] != '0';
}

// TODS,1
//      1
// 1 time-of-day message: 1 every second, 2 every even second.
void OnTODS(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.Field(field)) return;
    ctx.state.m_nTodRate = AtoI(field);
}

// GPSE,T,12,X
//      1 2  3
// 1 GPS engine type ('T' and 'M' are 12-channel engines), 2 channels,
// 3 unused. The 512-6200- units and type 22 report a 12-channel engine
// whatever the fields say.
void OnGPSE(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    IAboutDlg* about = ctx.host.AboutDlg();
    std::string field;
    if (!HasCapability(s.m_nProductType, kFixedTwelveChannels) && s.m_strPartNumber.compare(0, 9, "512-6200-") != 0) {
        if (!ctx.Field(field)) return;
        s.m_chGpsEngineType = field[0];
        if (!ctx.Field(field)) return;
        s.m_chGpsChannels = '8';
        if (!ctx.Field(field)) return;
        if (about) {
            const bool twelve = s.m_chGpsEngineType == 'T' || s.m_chGpsEngineType == 'M';
            about->SetGpsChannels(twelve ? std::string("12") : Format(" %c", s.m_chGpsChannels));
        }
    } else {
        if (!ctx.Field(field)) return;
        if (!ctx.Field(field)) return;
        s.m_chGpsChannels = '8';
        if (about) about->SetGpsChannels("12");
    }
}

// VERS,X1.2.0.5,01/02/03,V1.01,P123-456
//      1        2        3     4
// VERS,X1.2.0.5,01/02/03,xx,P123-456,word GPS 1.2
//      1        2        3  4        5a   5b  5c
// 1 firmware version, 2 firmware date (unused), 3 GPS version, 4 firmware
// part number. Types 15 and 22 skip field 3 and give the GPS version as the
// second and third space-separated words after field 4.
void OnVERS(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_strVersion = field;
    ctx.Report(Reported::Firmware);
    const std::string& v = s.m_strVersion;
    // Firmware of the ?.2.0 line averages position for a day, all other for an hour.
    s.m_nAveragingHours = (v.size() > 5 && v[3] == '2' && v[5] == '0') ? 24 : 1;
    if (!ctx.Field(field)) return;
    if (HasCapability(s.m_nProductType, kVersGpsWords)) {
        if (!ctx.Field(field)) return;
        if (!ctx.Field(field)) return;
        s.m_strFirmwarePartNumber = field;
        if (!ctx.tok.Next(" ", field)) return;
        if (!ctx.tok.Next(" ", field)) return;
        s.m_strGpsVersion = field;
        if (!ctx.tok.Next(" ", field)) return;
        s.m_strGpsVersion += ' ' + field;
    } else {
        if (!ctx.Field(field)) return;
        s.m_strGpsVersion = field;
        if (!ctx.Field(field)) return;
        s.m_strFirmwarePartNumber = field;
    }
    if (IAboutDlg* about = ctx.host.AboutDlg()) {
        about->SetFirmwareVersion(s.m_strVersion);
        about->SetFirmwarePartNumber(s.m_strFirmwarePartNumber);
        about->SetGpsVersion(s.m_strGpsVersion);
    }
}

// EVTG,123,04,05,06,1234567,01,00,00,00,0.500000,1
//      1   2  3  4  5       6  7  8  9  10       11
// 1-5 start day, hours, minutes, seconds, fraction; 6-9 period hours,
// minutes, seconds, fraction; 10 width with its point; 11 invert. The
// dialog's picture-mask fields take digits only, so the pieces are run
// together; a missing piece adds nothing.
void OnEVTG(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    IEventTriggerDlg* dialog = ctx.host.EventTriggerDlg();

    std::string start;
    for (int i = 0; i < 5; ++i) AppendField(ctx, start);
    s.m_strEventStart = start;
    if (dialog) dialog->FillStart(start);

    std::string period;
    for (int i = 0; i < 4; ++i) AppendField(ctx, period);
    s.m_strEventPeriod = period;
    if (dialog) dialog->FillPeriod(period);

    std::string width, piece;
    if (ctx.tok.Next(".", piece)) width = piece;
    if (ctx.tok.Next(",", piece)) width += piece;
    s.m_strEventWidth = width;
    if (dialog) dialog->FillWidth(width);

    std::string invert;
    if (!ctx.Rest(invert)) return;
    s.m_chEventInvert = invert[0];
    if (dialog) dialog->SetInvert(invert[0] == '1');
}

// ROUT,A,3,1000,0,1
//      1 2 3    4 5
// 1 output letter, 2 rate code, 3 programmable value, 4 invert, 5 shape.
// Only the open Set Rate Output dialog has a use for it.
void OnROUT(CDispatchContext& ctx)
{
    IRateOutputDlg* dialog = ctx.host.RateOutputDlg();
    if (!dialog) return;
    std::string rest;
    if (!ctx.Rest(rest)) return;
    dialog->OnRateReply(rest);
}

// TAGC
// The unit cleared its time tags: so does the open Time Tag dialog.
void OnTAGC(CDispatchContext& ctx)
{
    if (ITimeTagDlg* dialog = ctx.host.TimeTagDlg()) dialog->ClearList();
}

// TAGM,B
//      1
// 1 time tag mode: 'B' burst, 'W' wrap-around. Kept in the unit state only
// while the Time Tag dialog is closed; the open dialog takes it instead.
void OnTAGM(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.Field(field)) return;
    const char mode = field[0];
    ITimeTagDlg* dialog = ctx.host.TimeTagDlg();
    if (!dialog) {
        ctx.state.m_chTimeTagMode = mode;
        return;
    }
    if (mode == 'B' || mode == 'W') {
        dialog->SetMode(mode);
        return;
    }
    ctx.host.ShowErrorBox(ctx.body, "TAGM,? response: Unknown mode");
}

// TAGT,001,123,04,05,06,1234567
//      1   2   3  4  5  6
// 1 tag number, 2 day of year, 3 hours, 4 minutes, 5 seconds, 6 fraction.
void OnTAGT(CDispatchContext& ctx) { AddTimeTagLine(ctx); }

// TAGL,001,123,04,05,06,1234567
//      1   2   3  4  5  6
// A time tag from the unit's stored list, laid out as TAGT.
void OnTAGL(CDispatchContext& ctx) { AddTimeTagLine(ctx); }

}  // namespace velmor
