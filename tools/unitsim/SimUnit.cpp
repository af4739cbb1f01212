#include "SimUnit.h"

#include "SimFraming.h"
#include "SimText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace velmor {

using namespace simtext;

std::string DefaultPartNumber(int type)
{
    // The TMD1 family are all 524- units numbered by their type.
    if (CommandFamilyOf(type) == CommandFamily::Tmd1) return Format("524-20%02d-01", type);
    static const struct {
        int m_nType;
        const char* m_pszPart;
    } kParts[] = {
        {0, "530-0100-01"},  {3, "512-3000-01"},  {6, "530-0600-01"},  {15, "512-6100-01"},
        {16, "512-6200-04"}, {17, "518-1017-01"}, {18, "518-1018-01"}, {25, "530-2500-01"},
    };
    for (const auto& row : kParts)
        if (row.m_nType == type) return row.m_pszPart;
    return Format("536-%04d-01", type < 0 ? 0 : type % 10000);
}

const CSimUnit::CCommandEntry CSimUnit::kCommands[] = {
    {"UNSL", &CSimUnit::OnUnsl},
    {"TIMM", &CSimUnit::OnTimm},
    {"TMD1", &CSimUnit::OnTmd1},
    {"TRMO", &CSimUnit::OnPositionMode},
    {"PMD1", &CSimUnit::OnPositionMode},
    {"ETRD", &CSimUnit::OnLegacyPositionMode},
    {"ETRK", &CSimUnit::OnLegacyPositionMode},
    {"ETRS", &CSimUnit::OnLegacyPositionMode},
    {"ETR", &CSimUnit::OnLegacyPositionMode},
    {"MANM", &CSimUnit::OnManualTime},
    {"RSTG", &CSimUnit::OnColdStart},
    {"RC", &CSimUnit::OnColdStart},
    {"ANTD", &CSimUnit::OnAntennaDelay},
    {"ANT1", &CSimUnit::OnAntennaDelay},
    {"SPOS", &CSimUnit::OnPosition},
    {"POS1", &CSimUnit::OnPosition},
    {"ELL", &CSimUnit::OnLegacyEcho},
    {"EEL", &CSimUnit::OnLegacyEcho},
    {"pule", &CSimUnit::OnPulse},
    {"pulr", &CSimUnit::OnPulse},
    {"pulp", &CSimUnit::OnPulse},
    {"ofst", &CSimUnit::OnPulse},
    {"pulw", &CSimUnit::OnPulse},
    {"PULE", &CSimUnit::OnPulse},
    {"PULR", &CSimUnit::OnPulse},
    {"PULP", &CSimUnit::OnPulse},
    {"OFST", &CSimUnit::OnPulse},
    {"PULW", &CSimUnit::OnPulse},
    {"ROUT", &CSimUnit::OnRateOutput},
    {"EVTG", &CSimUnit::OnEventTrigger},
    {"TAGM", &CSimUnit::OnTagMode},
    {"TAGC", &CSimUnit::OnTagClear},
    {"DACV", &CSimUnit::OnDac},
    {"DACP", &CSimUnit::OnDac},
    {"MANG", &CSimUnit::OnMaskAngle},
    {"MAG1", &CSimUnit::OnMaskAngle},
    {"BEEP", &CSimUnit::OnBeep},
    {"TODS", &CSimUnit::OnTods},
    {"WARM", &CSimUnit::OnWarm},
    {"factoryreset", &CSimUnit::OnFactoryReset},
    {"PRESET2", &CSimUnit::OnFactoryReset},
};

CSimUnit::CSimUnit(const CSimConfig& config, std::int64_t nUtcSeconds)
    : m_config(config), m_nType(config.m_nType), m_random(config.m_nSeed), m_nUtc(nUtcSeconds),
      m_oscillator(config.m_noise, config.m_nSeed)
{
    m_strPart = config.m_strPart.empty() ? DefaultPartNumber(m_nType) : config.m_strPart;
    if (m_config.m_strFirmwarePart.empty()) m_config.m_strFirmwarePart = Format("680-%04d-01", 1000 + m_nType % 9000);
    ResetSettings();
    m_nTods = m_config.m_nTodRate == 2 ? 2 : 1;
    m_chState = config.m_chStartState;
    switch (m_chState) {
    case '0': case '5': m_nWarmupLeft = std::max(0, config.m_nWarmupSeconds); break;
    case '1': m_nCycles = 3; break;
    case '2': m_bGpsLost = true; m_nCycles = 3; m_nCoastCount = 1; break;
    case '3': m_nRecoverLeft = kRecoverSeconds; m_nCycles = 3; break;
    default: break;
    }
    if (m_chState != '0' && m_chState != '5') {
        // Past warm-up the 1PPS is already on GPS and the estimate has settled.
        m_oscillator.Align();
        m_dFreqError = 1e-12;
        m_dStdError = 7e-13;
    }
    // A unit that starts locked already sees its satellites.
    if (m_chState != '0' && !m_bGpsLost)
        for (int i = 0; i < 40; ++i) StepSatellites();
}

void CSimUnit::ResetSettings()
{
    m_chTimeMode = IsTmd1Family() ? 'U' : '2';
    m_nOffsetHours = 0;
    m_nOffsetMinutes = 0;
    m_chPositionMode = m_config.m_chPositionMode;
    if (Legacy() && m_chPositionMode == 'P') m_chPositionMode = 'S';
    if (!Legacy() && m_chPositionMode == 'S') m_chPositionMode = 'P';
    m_nAveragingLeft = (m_chPositionMode == 'P' || m_chPositionMode == 'S') ? kAveragingSeconds : 0;
    m_dLat = m_dFixLat = kHomeLat;
    m_dLon = m_dFixLon = kHomeLon;
    m_dHeight = m_dFixHeight = kHomeHeight;
    m_dSumLat = m_dSumLon = m_dSumHeight = 0;
    m_nSumCount = 0;
    m_nAntennaDelay = 0;
    m_nMaskAngle = 10;
    m_nBeep = 1;
    m_nTods = 1;
    m_strPule = "1";
    m_strPulr = "1";
    m_strPulp = "+";
    m_strOfst = "0";
    m_strPulw = "-1";
    m_aRateOutputs[0] = {"A", "18", "", "0", "0"};
    m_aRateOutputs[1] = {"B", "4", "", "0", "1"};
    m_eventTrigger = {"001", "00", "00", "00", "0000000", "00", "00", "01", "00", "0.000100", "0"};
    m_chTagMode = 'B';
    m_tags.clear();
    m_nNextTag = 1;
    m_subscriptions.clear();
}

bool CSimUnit::IsTmd1Family() const { return CommandFamilyOf(m_nType) == CommandFamily::Tmd1; }

// ---- commands -------------------------------------------------------------

void CSimUnit::HandleCommand(const std::string& body, std::vector<std::string>& replies)
{
    if (body.empty() || Restarting()) return;
    std::vector<std::string> fields = SplitFields(body);
    std::string& keyword = fields[0];

    // The legacy dialect runs values into the keyword: EID000005,
    // LLN033111111W117222222, EL12345.
    if (StartsWith(keyword, "EID")) {
        if (keyword.size() > 3) m_nAntennaDelay = ToInt(keyword.substr(3));
        BuildReport("ID", replies);
        return;
    }
    if (keyword.size() > 2 && StartsWith(keyword, "LL") && (keyword[2] == 'N' || keyword[2] == 'S')) {
        OnLegacyLatLon(fields, replies);
        return;
    }
    if (keyword.size() > 2 && StartsWith(keyword, "EL") &&
        (std::isdigit(static_cast<unsigned char>(keyword[2])) || keyword[2] == '-')) {
        OnLegacyHeight(fields, replies);
        return;
    }
    for (const CCommandEntry& entry : kCommands)
        if (keyword == entry.m_pszKeyword) {
            (this->*entry.m_pHandler)(fields, replies);
            return;
        }
    // Anything else with no fields is a query; unknown keywords go unanswered.
    if (fields.size() == 1) BuildReport(keyword, replies);
}

void CSimUnit::OnUnsl(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() < 3 || f[1].empty()) return;
    const std::string& keyword = f[1];
    const bool bOn = ToInt(f[2]) != 0;
    if (keyword == "XXXX") {
        // The program's way of saying "stop everything" when it stops polling.
        m_subscriptions.clear();
        return;
    }
    auto found = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                              [&](const CSubscription& s) { return s.m_strKeyword == keyword; });
    if (!bOn) {
        if (found != m_subscriptions.end()) m_subscriptions.erase(found);
        return;
    }
    if (found != m_subscriptions.end()) return;
    m_subscriptions.push_back({keyword, static_cast<int>(m_subscriptions.size())});
    // The first report follows at once, so a fresh page fills quickly; the
    // time of day keeps to the second boundary.
    if (keyword != "TIME" && keyword != "TM" && keyword != "TAGL") BuildReport(keyword, r);
}

void CSimUnit::OnTimm(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && !f[1].empty()) {
        m_chTimeMode = f[1][0];
        if (f.size() >= 3) {
            m_nOffsetHours = std::clamp(ToInt(f[2]), -14, 14);
            const bool bNegative = !f[2].empty() && f[2][0] == '-';
            int minutes = f.size() >= 4 ? std::abs(ToInt(f[3])) % 60 : 0;
            m_nOffsetMinutes = bNegative ? -minutes : minutes;
        } else if (m_chTimeMode == '1' || m_chTimeMode == '2') {
            m_nOffsetHours = 0;
            m_nOffsetMinutes = 0;
        }
    }
    BuildReport("TIMM", r);
}

void CSimUnit::OnTmd1(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && !f[1].empty()) m_chTimeMode = f[1][0];
    // The legacy unit answers the local-offset question with its own report.
    BuildReport(Legacy() ? "LO" : "TMD1", r);
}

void CSimUnit::OnPositionMode(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && !f[1].empty()) {
        const char mode = f[1][0];
        if (mode == 'P' && m_chPositionMode != 'P') {
            m_nAveragingLeft = kAveragingSeconds;
            m_dSumLat = m_dSumLon = m_dSumHeight = 0;
            m_nSumCount = 0;
        }
        m_chPositionMode = mode;
    }
    BuildReport(f[0], r);
}

void CSimUnit::OnLegacyPositionMode(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f[0].size() == 4) {
        const char mode = f[0][3];
        if (mode == 'S' && m_chPositionMode != 'S') {
            m_nAveragingLeft = kAveragingSeconds;
            m_dSumLat = m_dSumLon = m_dSumHeight = 0;
            m_nSumCount = 0;
        }
        m_chPositionMode = mode;
    }
    BuildReport("TR", r);
}

void CSimUnit::OnManualTime(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    // MANM,1,yyyy,mm,dd,hh,mm,ss
    if (f.size() < 8) return;
    std::tm when{};
    when.tm_year = ToInt(f[2]) - 1900;
    when.tm_mon = ToInt(f[3]) - 1;
    when.tm_mday = ToInt(f[4]);
    when.tm_hour = ToInt(f[5]);
    when.tm_min = ToInt(f[6]);
    when.tm_sec = ToInt(f[7]);
    if (when.tm_year < 0 || when.tm_year > 1000 || when.tm_mon < 0 || when.tm_mon > 11 || when.tm_mday < 1 ||
        when.tm_mday > 31)
        return;
    m_nManualOffset = static_cast<std::int64_t>(timegm(&when)) - m_nUtc;
    m_chTimeMode = '5';
    BuildReport("TIMM", r);
}

void CSimUnit::OnColdStart(const std::vector<std::string>& f, std::vector<std::string>&)
{
    if (f[0] == "RSTG" && (f.size() < 2 || f[1] != "C")) return;
    m_nColdStartLeft = kColdStartSeconds;
    for (CChannel& channel : m_aChannels) channel = CChannel{};
}

void CSimUnit::OnAntennaDelay(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && !f[1].empty()) m_nAntennaDelay = std::clamp(ToInt(f[1]), -999999, 999999);
    BuildReport(f[0], r);
}

void CSimUnit::OnPosition(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    // SPOS,33,11.1111,N,117,22.2222,W,00.00
    if (f.size() >= 8) {
        double lat = ToInt(f[1]) + ToDouble(f[2]) / 60.0;
        double lon = ToInt(f[4]) + ToDouble(f[5]) / 60.0;
        if (!f[3].empty() && f[3][0] == 'S') lat = -lat;
        if (!f[6].empty() && f[6][0] == 'W') lon = -lon;
        if (std::fabs(lat) <= 90 && std::fabs(lon) <= 180) {
            m_dLat = m_dFixLat = lat;
            m_dLon = m_dFixLon = lon;
            m_dHeight = m_dFixHeight = ToDouble(f[7]);
        }
    }
    BuildReport(f[0], r);
}

void CSimUnit::OnLegacyLatLon(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    // LLN033111111W117222222: hemisphere, ddd, mm, ffff, twice.
    const std::string& text = f[0];
    if (text.size() >= 22) {
        auto part = [&](std::size_t at) {
            const double degrees = ToInt(text.substr(at + 1, 3));
            const double minutes = ToInt(text.substr(at + 4, 2)) + ToInt(text.substr(at + 6, 4)) / 10000.0;
            const double value = degrees + minutes / 60.0;
            return (text[at] == 'S' || text[at] == 'W') ? -value : value;
        };
        const double lat = part(2), lon = part(12);
        if (std::fabs(lat) <= 90 && std::fabs(lon) <= 180) {
            m_dLat = m_dFixLat = lat;
            m_dLon = m_dFixLon = lon;
        }
    }
    BuildReport("LL", r);
}

void CSimUnit::OnLegacyHeight(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    // EL12345: centimetres.
    m_dHeight = m_dFixHeight = ToInt(f[0].substr(2)) / 100.0;
    BuildReport("EL", r);
}

void CSimUnit::OnLegacyEcho(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    BuildReport(f[0] == "ELL" ? "LL" : "EL", r);
}

void CSimUnit::OnPulse(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    std::string keyword = f[0];
    for (char& ch : keyword) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (f.size() >= 2 && !f[1].empty()) {
        const std::string value = f[1].substr(0, 12);
        if (keyword == "PULE" && (value == "0" || value == "1")) m_strPule = value;
        else if (keyword == "PULR" && (value == "1" || value == "2")) m_strPulr = value;
        else if (keyword == "PULP" && (value == "+" || value == "-")) m_strPulp = value;
        else if (keyword == "OFST") m_strOfst = std::to_string(std::clamp(ToInt(value), -99999, 99999));
        else if (keyword == "PULW") m_strPulw = std::to_string(std::clamp(ToInt(value), -2, 999));
    }
    BuildReport(keyword, r);
}

void CSimUnit::OnRateOutput(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    // ROUT,A,5,,0,1: letter, rate code, programmable value, invert, shape.
    if (f.size() >= 6 && (f[1] == "A" || f[1] == "B")) {
        const int code = ToInt(f[2]);
        if (code >= 0 && code <= 20) {
            std::vector<std::string>& output = m_aRateOutputs[f[1] == "A" ? 0 : 1];
            output = {f[1], std::to_string(code), f[3].substr(0, 12), f[4] == "1" ? "1" : "0", f[5] == "1" ? "1" : "0"};
            r.push_back("ROUT," + output[0] + "," + output[1] + "," + output[2] + "," + output[3] + "," + output[4]);
        }
        return;
    }
    if (f.size() == 1) BuildReport("ROUT", r);
}

void CSimUnit::OnEventTrigger(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 12) {
        m_eventTrigger.assign(f.begin() + 1, f.begin() + 12);
        for (std::string& field : m_eventTrigger) field = field.substr(0, 12);
    }
    BuildReport("EVTG", r);
}

void CSimUnit::OnTagMode(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && (f[1] == "B" || f[1] == "W")) m_chTagMode = f[1][0];
    BuildReport("TAGM", r);
}

void CSimUnit::OnTagClear(const std::vector<std::string>&, std::vector<std::string>& r)
{
    m_tags.clear();
    r.push_back("TAGC");
}

void CSimUnit::OnDac(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && !f[1].empty()) {
        m_oscillator.SetDac(ToDouble(f[1]));
        // Setting the DAC by hand restarts the discipline cycle.
        m_nSamples = 0;
    }
    BuildReport(f[0], r);
}

void CSimUnit::OnMaskAngle(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && !f[1].empty()) m_nMaskAngle = std::clamp(ToInt(f[1]), 0, 90);
    BuildReport("MANG", r);
}

void CSimUnit::OnBeep(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && !f[1].empty()) m_nBeep = ToInt(f[1]) != 0 ? 1 : 0;
    BuildReport("BEEP", r);
}

void CSimUnit::OnTods(const std::vector<std::string>& f, std::vector<std::string>& r)
{
    if (f.size() >= 2 && (f[1] == "1" || f[1] == "2")) m_nTods = ToInt(f[1]);
    BuildReport("TODS", r);
}

void CSimUnit::OnWarm(const std::vector<std::string>&, std::vector<std::string>&)
{
    if (m_chState == '0' || m_chState == '5') m_nWarmupLeft = 0;
}

void CSimUnit::OnFactoryReset(const std::vector<std::string>&, std::vector<std::string>&)
{
    ResetSettings();
    m_nRestartLeft = kRestartSeconds;
}

void CSimUnit::PowerCycle()
{
    // Subscriptions live in the unit's working memory; everything the set
    // commands changed is stored and survives.
    m_subscriptions.clear();
    m_nColdStartLeft = 0;
    m_nRestartLeft = kPowerCycleSeconds;
}

// ---- evolution ------------------------------------------------------------

void CSimUnit::Tick(std::int64_t nUtcSeconds, std::vector<std::string>& reports)
{
    m_nUtc = nUtcSeconds;
    if (m_nRestartLeft > 0) {
        // Power-up after the reset: warm-up from the start, no satellites.
        if (--m_nRestartLeft == 0) {
            m_chState = '0';
            m_nWarmupLeft = std::max(0, m_config.m_nWarmupSeconds);
            m_nSamples = 0;
            m_nCycles = 0;
            for (CChannel& channel : m_aChannels) channel = CChannel{};
        }
        return;
    }
    ++m_nUptime;
    if (m_config.m_nCoastAfterSeconds >= 0 && m_nUptime == m_config.m_nCoastAfterSeconds) m_bGpsLost = true;
    StepDiscipline();
    StepSatellites();
    StepOscillator();
    StepPosition();

    const std::size_t first = reports.size();
    std::vector<std::string> timeReports;
    for (const CSubscription& subscription : m_subscriptions) {
        const int period = ReportPeriod(subscription.m_strKeyword);
        if (period <= 0 || (m_nUptime + subscription.m_nPhase) % period != 0) continue;
        const bool time = subscription.m_strKeyword == "TIME" || subscription.m_strKeyword == "TM";
        if (!time) {
            BuildReport(subscription.m_strKeyword, reports);
            continue;
        }
        // The time of day every even second only, when so set (TODS,2).
        if (m_nTods == 2 && m_nUtc % 2 != 0) continue;
        BuildReport(subscription.m_strKeyword, timeReports);
    }
    // The time report leads the second's reports, or ends them.
    const auto at = m_config.m_bReadingsFirst ? reports.end() : reports.begin() + static_cast<std::ptrdiff_t>(first);
    reports.insert(at, timeReports.begin(), timeReports.end());
    StepTimeTags(reports);
}

void CSimUnit::StepDiscipline()
{
    const bool bNoGps = m_bGpsLost || m_nColdStartLeft > 0;
    if (m_nColdStartLeft > 0) --m_nColdStartLeft;
    switch (m_chState) {
    case '0':
    case '5':
        if (m_nWarmupLeft > 0) --m_nWarmupLeft;
        if (m_nWarmupLeft == 0 && !bNoGps) {
            m_chState = '1';
            m_nSamples = 0;
            m_oscillator.Align();
        }
        break;
    case '1':
        if (bNoGps) {
            m_chState = '2';
            m_nCoastSeconds = 0;
            ++m_nCoastCount;
            break;
        }
        if (++m_nSamples >= kSamplesPerCycle) {
            m_nSamples = 0;
            ++m_nCycles;
            m_oscillator.EstimateFrequency(m_dFreqError, m_dStdError);
        }
        break;
    case '2':
        if (bNoGps)
            ++m_nCoastSeconds;
        else {
            m_chState = '3';
            m_nRecoverLeft = kRecoverSeconds;
            // Far off after a long holdover: set the 1PPS again rather than
            // slew it back over hours.
            if (std::fabs(m_oscillator.PhaseNs()) > kJamNs) m_oscillator.Align();
        }
        break;
    case '3':
        if (bNoGps) {
            m_chState = '2';
            ++m_nCoastCount;
        } else if (--m_nRecoverLeft <= 0)
            m_chState = '1';
        break;
    default:
        break;  // manual holds its state until told otherwise
    }
}

void CSimUnit::StepSatellites()
{
    if (m_bGpsLost || m_nColdStartLeft > 0) {
        for (CChannel& channel : m_aChannels) channel = CChannel{};
        return;
    }
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (CChannel& channel : m_aChannels) {
        if (channel.m_nPrn == 0) {
            if (unit(m_random) > 0.25) continue;
            // A satellite rises: pick a PRN nobody else is tracking.
            int prn = 0;
            for (int attempt = 0; attempt < 40 && prn == 0; ++attempt) {
                const int candidate = 1 + static_cast<int>(m_random() % 32);
                if (std::none_of(m_aChannels.begin(), m_aChannels.end(),
                                 [&](const CChannel& c) { return c.m_nPrn == candidate; }))
                    prn = candidate;
            }
            if (prn == 0) continue;
            channel.m_nPrn = prn;
            channel.m_dStrength = 12 + 4 * unit(m_random);
            channel.m_dTarget = 34 + 16 * unit(m_random);
            channel.m_nAge = 0;
            channel.m_nLife = 120 + static_cast<int>(m_random() % 900);
            channel.m_chTrack = '0';
            continue;
        }
        ++channel.m_nAge;
        if (channel.m_nAge >= channel.m_nLife) {
            // Setting: the signal fades and the channel empties.
            channel.m_dStrength -= 2 + 2 * unit(m_random);
            channel.m_chTrack = '1';
            if (channel.m_dStrength < 14) channel = CChannel{};
            continue;
        }
        if (unit(m_random) < 0.02) channel.m_dTarget = std::clamp(channel.m_dTarget + 6 * (unit(m_random) - 0.5), 30.0, 52.0);
        channel.m_dStrength += 0.2 * (channel.m_dTarget - channel.m_dStrength) + 1.2 * (unit(m_random) - 0.5);
        channel.m_chTrack = channel.m_nAge < 3 ? '0' : channel.m_nAge < 7 ? '1' : '2';
    }
}

void CSimUnit::StepOscillator()
{
    const bool bGps = !m_bGpsLost && m_nColdStartLeft == 0;
    const bool bSteer = m_chState == '1' || m_chState == '3';
    const bool bCold = m_chState == '0' || m_chState == '5';
    m_oscillator.Step(bGps, bSteer, bCold);
    // A unit left cold for months could run its phase past any integer.
    m_nTimeDiff = static_cast<int>(std::lround(std::clamp(m_oscillator.MeasuredNs(), -1e9, 1e9)));
    std::normal_distribution<double> noise(0.0, 1.0);
    m_dRawTimeDiff = m_nTimeDiff + 45 + 2.0 * noise(m_random);
}

void CSimUnit::StepPosition()
{
    if (m_bGpsLost || m_nColdStartLeft > 0) return;
    std::normal_distribution<double> noise(0.0, 1.0);
    // About three metres of scatter, in degrees.
    m_dFixLat = m_dLat + 0.00003 * noise(m_random);
    m_dFixLon = m_dLon + 0.00003 * noise(m_random);
    m_dFixHeight = m_dHeight + 2.0 * noise(m_random);
    if ((m_chPositionMode == 'P' || m_chPositionMode == 'S') && m_nAveragingLeft > 0) {
        m_dSumLat += m_dFixLat;
        m_dSumLon += m_dFixLon;
        m_dSumHeight += m_dFixHeight;
        ++m_nSumCount;
        if (--m_nAveragingLeft == 0) {
            // Averaging done: the unit keeps the mean as its known position.
            m_dLat = m_dSumLat / m_nSumCount;
            m_dLon = m_dSumLon / m_nSumCount;
            m_dHeight = m_dSumHeight / m_nSumCount;
            m_chPositionMode = 'K';
        }
    }
}

void CSimUnit::StepTimeTags(std::vector<std::string>& reports)
{
    // An external event now and then on the time-tag input.
    if (m_random() % 8 != 0) return;
    if (m_tags.size() >= kMaxTags) {
        if (m_chTagMode == 'B') return;  // burst mode stops when full
        m_tags.erase(m_tags.begin());
    }
    CTag tag;
    tag.m_nNumber = m_nNextTag;
    m_nNextTag = m_nNextTag % 999 + 1;
    tag.m_nUtc = m_nUtc;
    tag.m_nFraction = static_cast<long>(m_random() % 10000000);
    m_tags.push_back(tag);
    if (std::any_of(m_subscriptions.begin(), m_subscriptions.end(),
                    [](const CSubscription& s) { return s.m_strKeyword == "TAGL"; }))
        reports.push_back(TagLine("TAGL", tag));
}

}  // namespace velmor
