// Position, velocity and satellite reports. While the unit averages its
// position (mode 'P', or 'S' for the legacy unit) the running reports must
// not overwrite the numeric position: only the averaging result sets it then.

#include <cfloat>
#include <cmath>

#include "protocol/Handlers.h"
#include "text/Numbers.h"

namespace velmor {

namespace {

// The height as single precision. A value beyond the float range becomes an
// infinity, as the hardware conversion would give, instead of undefined
// behaviour.
float HeightValue(const std::string& text)
{
    const double value = AtoF(text);
    if (value > FLT_MAX) return INFINITY;
    if (value < -FLT_MAX) return -INFINITY;
    return static_cast<float>(value);
}

// Characters [pos, pos + count) of |text|, cut where the text ends.
std::string Slice(const std::string& text, std::size_t pos, std::size_t count)
{
    return pos < text.size() ? text.substr(pos, count) : std::string();
}

// Latitude degrees, minutes, hemisphere, longitude degrees, minutes,
// hemisphere, each stored as soon as it is read. False when one is missing.
bool ReadLatLonTexts(CDispatchContext& ctx)
{
    CGeoPosition& p = ctx.state.m_position;
    std::string field;
    if (!ctx.Field(field)) return false;
    p.m_strLatDegrees = field;
    if (!ctx.Field(field)) return false;
    p.m_strLatMinutes = field;
    if (!ctx.Field(field)) return false;
    p.m_chLatHemisphere = field[0];
    if (!ctx.Field(field)) return false;
    p.m_strLonDegrees = field;
    if (!ctx.Field(field)) return false;
    p.m_strLonMinutes = field;
    if (!ctx.Field(field)) return false;
    p.m_chLonHemisphere = field[0];
    ctx.Report(Reported::Position);
    return true;
}

void ReadPositionMode(CDispatchContext& ctx)
{
    std::string field;
    if (!ctx.Field(field)) return;
    ctx.state.m_chPositionMode = field[0];
    ctx.Report(Reported::PositionMode);
}

// Up to eight groups of PRN, strength and track mode; a row may be left
// partly updated by a short report.
void ReadSatelliteTable(CDispatchContext& ctx)
{
    std::string field;
    for (CSatelliteRow& row : ctx.state.m_aSatellites) {
        if (!ctx.Field(field)) return;
        row.m_strPrn = field;
        ctx.Report(Reported::Satellites);
        if (!ctx.Field(field)) return;
        row.m_nStrength = AtoI(field);
        if (!ctx.Field(field)) return;
        row.m_chTrackMode = field[0];
    }
}

}  // namespace

// PMD1,K
//      1
// 1 position mode: 'D' dynamic, 'K' known, 'P' averaging.
void OnPMD1(CDispatchContext& ctx) { ReadPositionMode(ctx); }

// TRMO,P
//      1
// 1 position mode, as PMD1.
void OnTRMO(CDispatchContext& ctx) { ReadPositionMode(ctx); }

// TR,S
//    1
// 1 position mode of the legacy unit ('S' is its survey mode).
void OnTR(CDispatchContext& ctx) { ReadPositionMode(ctx); }

// POS1,33,11.1111,N,117,22.2222,W,123.45
//      1  2       3 4   5       6 7
// 1 latitude degrees, 2 latitude minutes, 3 N/S, 4 longitude degrees,
// 5 longitude minutes, 6 E/W, 7 height in metres.
void OnPOS1(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    if (!ReadLatLonTexts(ctx)) return;
    std::string field;
    if (!ctx.Field(field)) return;
    if (s.m_chPositionMode == 'P') return;
    s.m_position.m_strHeight = field;
    s.m_fHeight = HeightValue(field);
    s.RepackPosition();
}

// SPOS,33,11.1111,N,117,22.2222,W,123.45,3600
//      1  2       3 4   5       6 7      8
// 1 to 7 as POS1; 8 (only from the products that average through SPOS)
// averaging seconds elapsed.
void OnSPOS(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    if (!ReadLatLonTexts(ctx)) return;
    std::string field;
    if (!ctx.Field(field)) return;
    s.m_position.m_strHeight = field;
    const bool averaged = HasCapability(s.m_nProductType, kSposAveragingCount);
    // Such a unit reports its averaged position here, so it counts in any mode.
    if (!averaged && s.m_chPositionMode == 'P') return;
    s.m_fHeight = HeightValue(field);
    s.RepackPosition();
    if (!averaged) return;
    if (!ctx.Field(field)) return;
    s.m_nAveragingCount = AtoI(field);
}

// PAVG,33,11.1111,N,117,22.2222,W,123.45,3600
//      1  2       3 4   5       6 7      8
// 1 to 7 as POS1; 8 averaging seconds elapsed, sent by the product types
// that report averaging progress. All or nothing: a short report is dropped.
void OnPAVG(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    const CProductType& type = ProductTypeInfo(s.m_nProductType);
    const bool withCount = type.Has(kPavgAveragingCount);
    std::string fields[8];
    const int needed = withCount ? 8 : 7;
    for (int i = 0; i < needed; ++i)
        if (!ctx.Field(fields[i])) return;

    if (withCount) {
        s.m_nAveragingCount = AtoI(fields[7]);
        // A count of 0 carries no position, except from some types.
        if (s.m_nAveragingCount == 0 && !type.Has(kPavgPositionAtZero)) return;
    }
    CGeoPosition& p = s.m_position;
    p.m_strLatDegrees = fields[0];
    p.m_strLatMinutes = fields[1];
    p.m_chLatHemisphere = fields[2][0];
    p.m_strLonDegrees = fields[3];
    p.m_strLonMinutes = fields[4];
    p.m_chLonHemisphere = fields[5][0];
    p.m_strHeight = fields[6];
    s.m_nLatitudePacked = PackCoordinateAveraged(p.m_strLatDegrees, p.m_strLatMinutes);
    s.m_nLongitudePacked = PackCoordinateAveraged(p.m_strLonDegrees, p.m_strLonMinutes);
    s.m_fHeight = HeightValue(p.m_strHeight);
}

// LL N037341234W117221234
//    1
// One packed field, characters numbered from 1: 1 latitude hemisphere,
// 2-4 degrees, 5-6 integer and 7-10 fraction minutes; 11 longitude
// hemisphere, 12-14 degrees, 15-16 and 17-20 minutes. A short field gives
// texts that end where it ends.
void OnLL(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.Field(field)) return;
    auto minutes = [&](std::size_t pos) {
        std::string text = Slice(field, pos, 2);
        if (pos + 2 < field.size()) text += '.' + Slice(field, pos + 2, 4);
        return text;
    };
    CGeoPosition& p = s.m_position;
    p.m_chLatHemisphere = field[0];
    p.m_strLatDegrees = Slice(field, 1, 3);
    p.m_strLatMinutes = minutes(4);
    p.m_chLonHemisphere = field.size() > 10 ? field[10] : '\0';
    p.m_strLonDegrees = Slice(field, 11, 3);
    p.m_strLonMinutes = minutes(14);
    if (s.m_chPositionMode != 'S') s.RepackPosition();
}

// EL 12345M
//    1
// 1 height in centimetres without a point, ended by the metre sign 'M';
// a '-' after the point introduces an exponent.
void OnEL(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    if (!ctx.tok.Next("M", field)) return;
    const std::size_t n = field.size() < 10 ? field.size() : 10;
    const std::size_t point = n >= 3 ? n - 2 : 0;
    std::string text = field.substr(0, point);
    text += '.';
    for (std::size_t i = point; i < field.size(); ++i) {
        if (field[i] == '-') text += 'E';
        text += field[i];
    }
    if (s.m_chPositionMode == 'S') return;
    s.m_position.m_strHeight = text;
    s.m_fHeight = HeightValue(text);
}

// PVT1,...,0.01,-0.02,0.00
//      1-9 10   11    12
// 1 to 9 unused here, 10 velocity east, 11 north, 12 up.
void OnPVT1(CDispatchContext& ctx)
{
    CUnitState& s = ctx.state;
    std::string field;
    for (int i = 0; i < 9; ++i)
        if (!ctx.Field(field)) return;
    if (!ctx.Field(field)) return;
    s.m_dVelocityEast = AtoF(field);
    if (!ctx.Field(field)) return;
    s.m_dVelocityNorth = AtoF(field);
    if (!ctx.Field(field)) return;
    s.m_dVelocityUp = AtoF(field);
    ctx.Report(Reported::Velocity);
}

// SIGQ,05,45,2,12,40,1,...
//      1  2  3 4  5  6
// Eight groups of 1 PRN ("00" for an empty channel), 2 signal strength,
// 3 track mode.
void OnSIGQ(CDispatchContext& ctx) { ReadSatelliteTable(ctx); }

// VS,05,45,2,12,40,1,...
//    1  2  3 4  5  6
// The legacy satellite table, laid out as SIGQ.
void OnVS(CDispatchContext& ctx) { ReadSatelliteTable(ctx); }

// MANG,10
//      1
// 1 elevation mask angle, degrees (the rest of the sentence).
void OnMANG(CDispatchContext& ctx)
{
    std::string rest;
    if (!ctx.Rest(rest)) return;
    ctx.state.m_nMaskAngle = AtoI(rest);
}

}  // namespace velmor
