// The unit's reports: the exact sentence bodies the program reads.

#include "SimText.h"
#include "SimUnit.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace velmor {

using namespace simtext;

// ---- reports --------------------------------------------------------------

int CSimUnit::ReportPeriod(const std::string& keyword) const
{
    static const struct {
        const char* m_pszKeyword;
        int m_nPeriod;
    } kPeriods[] = {
        {"TIME", 1}, {"TM", 1},   {"TIMD", 1}, {"MD", 1},   {"ESSN", 1}, {"ES", 1},   {"TIMR", 1},
        {"SIGQ", 2}, {"VS", 2},   {"DACV", 2}, {"DACP", 2}, {"OC", 2},   {"POS1", 2}, {"SPOS", 2},
        {"PAVG", 2}, {"LL", 2},   {"EL", 2},   {"PVT1", 2}, {"TAGL", 0},
    };
    for (const auto& row : kPeriods)
        if (keyword == row.m_pszKeyword) return row.m_nPeriod;
    return 5;
}

char CSimUnit::Tfom() const
{
    switch (m_chState) {
    case '0': return '9';
    case '1': return m_nCycles > 0 ? '2' : '3';
    case '2': return static_cast<char>('0' + std::min(9, 4 + m_nCoastSeconds / 60));
    case '3': return '5';
    case '4': return '6';
    default: return '4';
    }
}

std::string CSimUnit::TimeFields(std::int64_t& nShown) const
{
    const std::int64_t offset = m_nOffsetHours * 3600 + (m_nOffsetHours < 0 ? -1 : 1) * std::abs(m_nOffsetMinutes) * 60;
    switch (m_chTimeMode) {
    case '1': case 'G': nShown = m_nUtc + kLeapSeconds; break;
    case '3': case 'u': nShown = m_nUtc + offset; break;
    case '4': case 'g': nShown = m_nUtc + kLeapSeconds + offset; break;
    case '5': case 'M': nShown = m_nUtc + m_nManualOffset; break;
    default: nShown = m_nUtc; break;
    }
    const std::time_t seconds = static_cast<std::time_t>(nShown);
    std::tm when{};
    gmtime_r(&seconds, &when);
    return Format("%04d,%03d,%02d,%02d,%02d", when.tm_year + 1900, when.tm_yday + 1, when.tm_hour, when.tm_min,
                  when.tm_sec);
}

std::string CSimUnit::ReportTime() const
{
    std::int64_t shown = 0;
    return "TIME," + TimeFields(shown) + Format(",%c,%c,%c", m_chTimeMode, Tfom(), m_chState);
}

std::string CSimUnit::ReportTm() const
{
    // The legacy status digit: 3 locked, 1 coasting, 0 anything else.
    const char status = (m_chState == '1' || m_chState == '3') ? '3' : m_chState == '2' ? '1' : '0';
    std::int64_t shown = 0;
    return Format("TM,%c,", status) + TimeFields(shown) + Format(",%c", Tfom());
}

std::string CSimUnit::ReportSatellites(const char* keyword) const
{
    std::string out = keyword;
    for (const CChannel& channel : m_aChannels) {
        int strength = channel.m_nPrn == 0 ? 0 : static_cast<int>(std::lround(channel.m_dStrength));
        // The legacy unit reports strength on a scale of 0 to 10.
        if (Legacy() && strength > 0) strength = std::clamp(strength / 5, 1, 10);
        // The legacy unit knows two states only: searching, or tracking ('1').
        char track = channel.m_nPrn == 0 ? '0' : channel.m_chTrack;
        if (Legacy() && track != '0') track = '1';
        out += Format(",%02d,%d,%c", channel.m_nPrn, strength, track);
    }
    return out;
}

std::string CSimUnit::PositionFields(double lat, double lon, double height) const
{
    long latDeg = 0, latMin = 0, latFrac = 0, lonDeg = 0, lonMin = 0, lonFrac = 0;
    SplitDegrees(lat, latDeg, latMin, latFrac);
    SplitDegrees(lon, lonDeg, lonMin, lonFrac);
    return Format("%02ld,%02ld.%04ld,%c,%03ld,%02ld.%04ld,%c,%.2f", latDeg, latMin, latFrac, lat < 0 ? 'S' : 'N',
                  lonDeg, lonMin, lonFrac, lon < 0 ? 'W' : 'E', height);
}

std::string CSimUnit::LegacyLatLon(double lat, double lon) const
{
    long latDeg = 0, latMin = 0, latFrac = 0, lonDeg = 0, lonMin = 0, lonFrac = 0;
    SplitDegrees(lat, latDeg, latMin, latFrac);
    SplitDegrees(lon, lonDeg, lonMin, lonFrac);
    return Format("LL %c%03ld%02ld%04ld%c%03ld%02ld%04ld", lat < 0 ? 'S' : 'N', latDeg, latMin, latFrac,
                  lon < 0 ? 'W' : 'E', lonDeg, lonMin, lonFrac);
}

std::string CSimUnit::LegacyHeight(double height) const
{
    return Format("EL %ldM", std::lround(height * 100.0));
}

std::string CSimUnit::TagLine(const char* keyword, const CTag& tag) const
{
    const std::time_t seconds = static_cast<std::time_t>(tag.m_nUtc);
    std::tm when{};
    gmtime_r(&seconds, &when);
    return Format("%s,%03d,%03d,%02d,%02d,%02d,%07ld", keyword, tag.m_nNumber, when.tm_yday + 1, when.tm_hour,
                  when.tm_min, when.tm_sec, tag.m_nFraction);
}

bool CSimUnit::BuildReport(const std::string& keyword, std::vector<std::string>& out)
{
    const bool bAveraging = m_chPositionMode == 'P' || m_chPositionMode == 'S';
    const bool bFixed = m_chPositionMode == 'K';
    const double lat = bFixed ? m_dLat : m_dFixLat;
    const double lon = bFixed ? m_dLon : m_dFixLon;
    const double height = bFixed ? m_dHeight : m_dFixHeight;
    const bool bTimingModel = StartsWith(m_strPart, "512-6200-");
    const std::string& k = keyword;

    if (k == "PRID") out.push_back(Format("PRID,%d,", m_nType) + m_strPart);
    else if (k == "GPSE") out.push_back(Legacy() ? "GPSE,S,8,0" : "GPSE,M,12,0");
    else if (k == "VERS") {
        if (HasCapability(m_nType, kVersGpsWords))
            out.push_back("VERS," + m_config.m_strVersion + ",2012-03-14,GPS," + m_config.m_strFirmwarePart + ",GPS " +
                          m_config.m_strGpsVersion + " B0412");
        else
            out.push_back("VERS," + m_config.m_strVersion + ",2012-03-14," + m_config.m_strGpsVersion + "," +
                          m_config.m_strFirmwarePart);
    } else if (k == "MTYP") out.push_back("MTYP,S");
    else if (k == "TIME") out.push_back(ReportTime());
    else if (k == "TM") out.push_back(ReportTm());
    else if (k == "TIMM")
        out.push_back(Format("TIMM,%c,%+03d,%02d", m_chTimeMode, m_nOffsetHours, std::abs(m_nOffsetMinutes)));
    else if (k == "TMD1")
        out.push_back(Format("TMD1,%c,%+03d,%02d", m_chTimeMode, m_nOffsetHours, std::abs(m_nOffsetMinutes)));
    else if (k == "LO") out.push_back(Format("LO,%d,%d", m_nOffsetHours * 10, m_nOffsetMinutes));
    else if (k == "LEAP") out.push_back(Format("LEAP,%d,%d", kLeapSeconds, kLeapSeconds));
    else if (k == "TIMD") out.push_back(Format("TIMD,%d", m_nTimeDiff));
    else if (k == "MD") out.push_back("MD " + PackedExponent(m_nTimeDiff * 1e-9, 3));
    else if (k == "TIMR" && bTimingModel) out.push_back(Format("TIMR,%ld", std::lround(m_dRawTimeDiff)));
    else if (k == "NTLC") out.push_back(Format("NTLC,%d", m_chState == '2' ? m_nCoastSeconds : 0));
    else if (k == "OUTQ" && bTimingModel) {
        const bool bEnabled = m_strPule == "1" || m_chState != '0';
        out.push_back(Format("OUTQ,1,%c,0,%d", bEnabled ? 'E' : 'D', m_nCoastCount));
    } else if (k == "SSTA" && bTimingModel) out.push_back("SSTA,0,0,0,000");
    else if (k == "BT") out.push_back(m_bGpsLost ? "BT,1000000" : "BT,0000000");
    else if (k == "TRMO" || k == "PMD1") out.push_back(Format("%s,%c", k.c_str(), m_chPositionMode));
    else if (k == "TR") out.push_back(Format("TR,%c", m_chPositionMode));
    else if (k == "POS1") out.push_back("POS1," + PositionFields(lat, lon, height));
    else if (k == "SPOS") {
        std::string body = "SPOS," + PositionFields(lat, lon, height);
        if (HasCapability(m_nType, kSposAveragingCount)) body += Format(",%d", bAveraging ? m_nAveragingLeft : 0);
        out.push_back(body);
    } else if (k == "PAVG") {
        const bool bHaveMean = m_nSumCount > 0 && bAveraging;
        std::string body = "PAVG," + PositionFields(bHaveMean ? m_dSumLat / m_nSumCount : m_dLat,
                                                    bHaveMean ? m_dSumLon / m_nSumCount : m_dLon,
                                                    bHaveMean ? m_dSumHeight / m_nSumCount : m_dHeight);
        if (HasCapability(m_nType, kPavgAveragingCount)) body += Format(",%d", bAveraging ? m_nAveragingLeft : 0);
        out.push_back(body);
    } else if (k == "LL") out.push_back(LegacyLatLon(lat, lon));
    else if (k == "EL") out.push_back(LegacyHeight(height));
    else if (k == "PVT1") {
        std::int64_t shown = 0;
        out.push_back("PVT1," + TimeFields(shown) + Format(",%.6f,%.6f,%.2f,0.01,-0.02,0.00", lat, lon, height));
    } else if (k == "SIGQ") out.push_back(ReportSatellites("SIGQ"));
    else if (k == "VS") out.push_back(ReportSatellites("VS"));
    else if (k == "MANG") out.push_back(Format("MANG,%d", m_nMaskAngle));
    else if (k == "DACV" || k == "DACP") out.push_back(Format("%s,%05ld", k.c_str(), std::lround(m_oscillator.Dac())));
    else if (k == "OC") out.push_back(Format("OC,%05ld", std::lround(m_oscillator.Dac())));
    else if (k == "EFER") out.push_back(Format("EFER,%.2E", m_dFreqError));
    else if (k == "EF") out.push_back("EF " + PackedExponent(m_dFreqError, 5));
    else if (k == "ESSD") out.push_back(Format("ESSD,%.2E", m_dStdError));
    else if (k == "SD") out.push_back("SD " + PackedExponent(m_dStdError, 5));
    else if (k == "ESSN") out.push_back(Format("ESSN,%d", m_nSamples));
    else if (k == "ES") out.push_back(Format("ES,%d", m_nSamples));
    else if (k == "ESTC") out.push_back(Format("ESTC,%d", m_nCycles));
    else if (k == "TEMP") out.push_back(Format("TEMP,%.1f", m_oscillator.TemperatureReading()));
    else if (k == "PULE") out.push_back("PULE," + m_strPule);
    else if (k == "PULR") out.push_back("PULR," + m_strPulr);
    else if (k == "PULP") out.push_back("PULP," + m_strPulp);
    else if (k == "OFST") out.push_back("OFST," + m_strOfst);
    else if (k == "PULW") out.push_back("PULW," + m_strPulw);
    else if (k == "ANTD" || k == "ANT1") out.push_back(Format("%s,%06d", k.c_str(), m_nAntennaDelay));
    else if (k == "ID") out.push_back(Format("ID,%06d", m_nAntennaDelay));
    else if (k == "BEEP") out.push_back(Format("BEEP,%d", m_nBeep));
    else if (k == "TODS") out.push_back(Format("TODS,%d", m_nTods));
    else if (k == "EVTG") {
        std::string body = "EVTG";
        for (const std::string& field : m_eventTrigger) body += "," + field;
        out.push_back(body);
    } else if (k == "ROUT") {
        for (const auto& output : m_aRateOutputs)
            out.push_back("ROUT," + output[0] + "," + output[1] + "," + output[2] + "," + output[3] + "," + output[4]);
    } else if (k == "TAGM") out.push_back(Format("TAGM,%c", m_chTagMode));
    else if (k == "TAGT") {
        for (const CTag& tag : m_tags) out.push_back(TagLine("TAGT", tag));
    } else
        return false;
    return true;
}

}  // namespace velmor
