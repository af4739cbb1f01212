// Time and status reports: the time-of-day heartbeat, time-mode and local
// offset echoes, leap seconds, 1PPS time differences, holdover counters and
// the self-test results, in both dialects.

#include <climits>

#include "protocol/Handlers.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

// Days before the first of each month, January first.
const int kDaysBeforeMonth[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

// The year, the derived month and day and the DDD:HH:MM:SS text shared by
// TIME and TM. False when a field is missing; what was read stays stored.
bool ReadDateAndTime(CDispatchContext& ctx, int& seconds)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return false;
    s.m_nYear = AtoI(field);
    if (!ctx.Field(field)) return false;
    DayOfYearToDate(AtoI(field), s.m_nYear, s.m_nMonth, s.m_nDay);
    std::string time = field;
    for (int i = 0; i < 3; ++i) {
        if (!ctx.Field(field)) return false;
        time += ':';
        time += field;
    }
    seconds = AtoI(field);
    s.m_strTimeOfDay = time;
    ctx.Report(Reported::UnitTime);
    return true;
}

// Two-character hours: a signed digit gets a '0' after its sign, two bare
// characters get a '+'.
std::string NormaliseTwoCharHours(const std::string& hours)
{
    if (IsSign(hours[0])) return std::string{hours[0], '0', hours[1]};
    return "+" + hours;
}

std::string WithoutSign(const std::string& text)
{
    return IsSign(text[0]) ? text.substr(1) : text;
}

// The ring of the last six time differences; a repeat of the newest value is
// not a new measurement.
void StoreTimeDiff(CUnitState& s, int value)
{
    if (value == s.m_nLastTimeDiff) return;
    int slot = s.m_nTimeDiffCount % 6;
    if (slot < 0) slot += 6;
    s.m_anTimeDiff[slot] = value;
    s.m_nLastTimeDiff = value;
    // Wraps instead of overflowing after two thousand million reports.
    s.m_nTimeDiffCount = s.m_nTimeDiffCount == INT_MAX ? 0 : s.m_nTimeDiffCount + 1;
}

}  // namespace

void DayOfYearToDate(int dayOfYear, int year, int& month, int& day)
{
    const int* table = kDaysBeforeMonth[year % 4 == 0 ? 1 : 0];
    for (int m = 11; m >= 0; --m) {
        if (table[m] < dayOfYear) {
            month = m + 1;
            day = dayOfYear - table[m];
            return;
        }
    }
}

// TIME,2010,045,13,24,05,2,3,1
//      1    2   3  4  5  6 7 8
// 1 year, 2 day of year, 3 hours, 4 minutes, 5 seconds, 6 time mode,
// 7 TFOM, 8 discipline state.
void OnTIME(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    int seconds = 0;
    if (!ReadDateAndTime(ctx, seconds)) return;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_chTimeMode = field[0];
    ctx.Report(Reported::TimeMode);
    if (!ctx.Field(field)) return;
    s.m_chTfom = field[0];
    ctx.Report(Reported::Tfom);
    if (!ctx.Field(field)) return;
    // The leap-second state is re-read whenever the discipline state changes.
    if (field[0] != s.m_chDisciplineState) ctx.Send("LEAP");
    s.m_chDisciplineState = field[0];
    ctx.Report(Reported::DisciplineState);
    if (HasCapability(s.m_nProductType, kPeriodicModelQuery) && seconds % 59 == 0) ctx.Send("MTYP");
    ctx.RequestRedraw();
}

// TM,3,1997,123,13,24,05,2
//    1 2    3   4  5  6  7
// 1 status ('1' coasting, '3' locked, else warm-up), 2 year, 3 day of year,
// 4 hours, 5 minutes, 6 seconds, 7 TFOM.
void OnTM(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    switch (field[0]) {
    case '1': s.m_chDisciplineState = '2'; break;
    case '3': s.m_chDisciplineState = '1'; break;
    default: s.m_chDisciplineState = '0'; break;
    }
    ctx.Report(Reported::DisciplineState);
    int seconds = 0;
    if (!ReadDateAndTime(ctx, seconds)) return;
    if (!ctx.Field(field)) return;
    s.m_chTfom = field[0];
    ctx.Report(Reported::Tfom);
    ctx.RequestRedraw();
}

// TIMM,U,-5,30
//      1 2  3
// 1 time mode, 2 local offset hours, 3 local offset minutes.
void OnTIMM(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_chTimeMode = field[0];
    ctx.Report(Reported::TimeMode);
    // Shown when the unit sends no offset at all.
    s.m_strLocalOffsetHours = "25";
    s.m_strLocalOffsetMinutes = "00";
    if (!ctx.Field(field)) return;
    if (field.size() == 1) {
        s.m_strLocalOffsetHours = "+0" + field;
    } else if (field.size() == 2) {
        s.m_strLocalOffsetHours = NormaliseTwoCharHours(field);
    } else if (IsSign(field[0])) {
        s.m_strLocalOffsetHours = field;
    } else {
        s.m_strLocalOffsetHours = "+" + field.substr(0, 2);
    }
    if (!ctx.Field(field)) return;
    s.m_strLocalOffsetMinutes = WithoutSign(field);
}

// TMD1,3,-5,30
//      1 2  3
// 1 time mode, 2 local offset hours, 3 local offset minutes.
void OnTMD1(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_chTimeMode = field[0];
    ctx.Report(Reported::TimeMode);
    if (!ctx.Field(field)) return;
    s.m_strLocalOffsetHours = field.size() == 2 ? NormaliseTwoCharHours(field) : field;
    if (!ctx.Field(field)) return;
    s.m_strLocalOffsetMinutes = WithoutSign(field);
}

// LO,-50,30
//    1   2
// 1 local offset hours x 10, 2 local offset minutes.
void OnLO(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_strLocalOffsetHours = Format("%-3d", AtoI(field) / 10);
    if (!ctx.Field(field)) return;
    s.m_strLocalOffsetMinutes = Format("%-3d", AtoI(field));
}

// LEAP,15,16
//      1  2
// 1 GPS-UTC leap seconds now, 2 announced future leap seconds.
void OnLEAP(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_strLeapNow = field;
    ctx.Report(Reported::LeapSeconds);
    if (!ctx.Field(field)) return;
    s.m_strLeapFuture = field;
}

// TIMD,-12
//      1
// 1 1PPS time difference to GPS, nanoseconds.
void OnTIMD(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.Field(field)) return;
    StoreTimeDiff(ctx.state, AtoI(field));
    ctx.Report(Reported::PpsOffset);
}

// MD,123-09
//    1
// 1 time difference in seconds: mantissa digits with the integer digit first
// and no point, then the signed exponent (1.23E-09 here).
void OnMD(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.Field(field)) return;
    const std::size_t n = field.size();
    std::size_t i = 0;
    while (i < n && field[i] == ' ') ++i;
    std::string number;
    if (i < n && IsSign(field[i])) number += field[i++];
    if (i < n) number += field[i++];
    number += '.';
    for (int k = 0; k < 2 && i < n; ++k) number += field[i++];
    number += 'E';
    while (i < n && field[i] != ' ') number += field[i++];
    // The largest double below 10^9: the unit's own scale factor.
    StoreTimeDiff(ctx.state, TruncToInt(AtoF(number) * 999999999.9999999));
    ctx.Report(Reported::PpsOffset);
}

// TIMR,-12
//      1
// 1 1PPS raw time difference, nanoseconds.
void OnTIMR(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.Field(field)) return;
    ctx.state.m_dRawTimeDiff = AtoI(field);
    ctx.Report(Reported::RawPpsOffset);
}

// TIMI,0
//      1
// Accepted; the field has no use here.
void OnTIMI(CDispatchContext& ctx)
{
    std::string field;
    ctx.Field(field);
}

// NTLC,3600
//      1
// 1 coast (holdover) duration, seconds.
void OnNTLC(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.Field(field)) return;
    ctx.state.m_nCoastDuration = AtoI(field);
    ctx.Report(Reported::CoastDuration);
}

// OUTQ,1,E,0,3600
//      1 2 3 4
// 1 unused, 2 1PPS output status ('E' enabled, 'D' disabled), 3 unused,
// 4 coast count.
void OnOUTQ(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    if (!ctx.Field(field)) return;
    s.m_szPulseStatus = field;
    ctx.Report(Reported::PulseStatus);
    if (!ctx.Field(field)) return;
    if (!ctx.Field(field)) return;
    s.m_nCoastCount = AtoI(field);
    ctx.Report(Reported::CoastDuration);
}

// SSTA,0,0,0,008
//      1 2 3 4
// 4 self-test result; its third character is the status digit. Only the
// 512-6200-03 unit reports it this way.
void OnSSTA(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    if (s.m_strPartNumber != "512-6200-03") return;
    std::string field;
    for (int i = 0; i < 4; ++i)
        if (!ctx.Field(field)) return;
    s.m_chSelfTestStatus = field.size() >= 3 ? field[2] : 0;
    ctx.Report(Reported::SelfTest);
}

// BT 0000000
//    1
// 1 built-in test digits, one per test, '0' meaning Ok; the field ends at a
// comma or carriage return.
void OnBT(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.tok.Next(",\r", field)) return;
    ctx.state.m_strBuiltInTest = field;
    ctx.Report(Reported::SelfTest);
}

}  // namespace velmor
