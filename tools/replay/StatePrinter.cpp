#include "StatePrinter.h"

#include <functional>
#include <map>

#include "text/Text.h"

namespace velmor::replay {

namespace {

using Printer = std::function<std::string(const CUnitState&)>;

std::string CharValue(char c)
{
    if (c == '\'') return "'\\''";
    return "'" + Escape(std::string_view(&c, 1)) + "'";
}

// One printer per field kind; the member pointer keeps the table short.
Printer Member(std::string CUnitState::*member)
{
    return [member](const CUnitState& s) { return Quoted(s.*member); };
}
Printer Member(int CUnitState::*member)
{
    return [member](const CUnitState& s) { return std::to_string(s.*member); };
}
Printer Member(char CUnitState::*member)
{
    return [member](const CUnitState& s) { return CharValue(s.*member); };
}
Printer Member(bool CUnitState::*member)
{
    return [member](const CUnitState& s) { return std::string(s.*member ? "1" : "0"); };
}
Printer Member(double CUnitState::*member)
{
    return [member](const CUnitState& s) { return Format("%g", s.*member); };
}
Printer Member(float CUnitState::*member)
{
    return [member](const CUnitState& s) { return Format("%g", static_cast<double>(s.*member)); };
}
template <std::size_t N>
Printer Member(CFixedText<N> CUnitState::*member)
{
    return [member](const CUnitState& s) { return Quoted((s.*member).str()); };
}

Printer Position(std::string CGeoPosition::*member)
{
    return [member](const CUnitState& s) { return Quoted(s.m_position.*member); };
}
Printer Position(char CGeoPosition::*member)
{
    return [member](const CUnitState& s) { return CharValue(s.m_position.*member); };
}

const std::map<std::string, Printer, std::less<>>& Table()
{
    static const std::map<std::string, Printer, std::less<>> table = {
        // Identification
        {"m_nProductType", Member(&CUnitState::m_nProductType)},
        {"m_nReportedProductType", Member(&CUnitState::m_nReportedProductType)},
        {"m_strPartNumber", Member(&CUnitState::m_strPartNumber)},
        {"m_bIdentified", Member(&CUnitState::m_bIdentified)},
        {"m_nModelVariant", Member(&CUnitState::m_nModelVariant)},
        {"m_chGpsEngineType", Member(&CUnitState::m_chGpsEngineType)},
        {"m_chGpsChannels", Member(&CUnitState::m_chGpsChannels)},
        {"m_strVersion", Member(&CUnitState::m_strVersion)},
        {"m_strGpsVersion", Member(&CUnitState::m_strGpsVersion)},
        {"m_strFirmwarePartNumber", Member(&CUnitState::m_strFirmwarePartNumber)},
        // Time and status
        {"m_strTimeOfDay", Member(&CUnitState::m_strTimeOfDay)},
        {"m_nYear", Member(&CUnitState::m_nYear)},
        {"m_nMonth", Member(&CUnitState::m_nMonth)},
        {"m_nDay", Member(&CUnitState::m_nDay)},
        {"m_chTimeMode", Member(&CUnitState::m_chTimeMode)},
        {"m_chTfom", Member(&CUnitState::m_chTfom)},
        {"m_chDisciplineState", Member(&CUnitState::m_chDisciplineState)},
        {"m_strLocalOffsetHours", Member(&CUnitState::m_strLocalOffsetHours)},
        {"m_strLocalOffsetMinutes", Member(&CUnitState::m_strLocalOffsetMinutes)},
        {"m_strLeapNow", Member(&CUnitState::m_strLeapNow)},
        {"m_strLeapFuture", Member(&CUnitState::m_strLeapFuture)},
        {"m_nCoastDuration", Member(&CUnitState::m_nCoastDuration)},
        {"m_nCoastCount", Member(&CUnitState::m_nCoastCount)},
        {"m_szPulseStatus", Member(&CUnitState::m_szPulseStatus)},
        {"m_chSelfTestStatus", Member(&CUnitState::m_chSelfTestStatus)},
        {"m_strBuiltInTest", Member(&CUnitState::m_strBuiltInTest)},
        {"m_bPageDirty", Member(&CUnitState::m_bPageDirty)},
        // 1PPS measurement (m_anTimeDiff[i] is handled below)
        {"m_nTimeDiffCount", Member(&CUnitState::m_nTimeDiffCount)},
        {"m_nLastTimeDiff", Member(&CUnitState::m_nLastTimeDiff)},
        {"m_dRawTimeDiff", Member(&CUnitState::m_dRawTimeDiff)},
        // Oscillator disciplining
        {"m_strDacValue", Member(&CUnitState::m_strDacValue)},
        {"m_strFreqErrorEstimate", Member(&CUnitState::m_strFreqErrorEstimate)},
        {"m_strStdErrorEstimate", Member(&CUnitState::m_strStdErrorEstimate)},
        {"m_strSamplesInCycle", Member(&CUnitState::m_strSamplesInCycle)},
        {"m_strCyclesCompleted", Member(&CUnitState::m_strCyclesCompleted)},
        {"m_strTemperature", Member(&CUnitState::m_strTemperature)},
        // Position, velocity and satellites (m_aSatellites[i] below)
        {"m_chPositionMode", Member(&CUnitState::m_chPositionMode)},
        {"m_position.m_strLatDegrees", Position(&CGeoPosition::m_strLatDegrees)},
        {"m_position.m_strLatMinutes", Position(&CGeoPosition::m_strLatMinutes)},
        {"m_position.m_chLatHemisphere", Position(&CGeoPosition::m_chLatHemisphere)},
        {"m_position.m_strLonDegrees", Position(&CGeoPosition::m_strLonDegrees)},
        {"m_position.m_strLonMinutes", Position(&CGeoPosition::m_strLonMinutes)},
        {"m_position.m_chLonHemisphere", Position(&CGeoPosition::m_chLonHemisphere)},
        {"m_position.m_strHeight", Position(&CGeoPosition::m_strHeight)},
        {"m_nLatitudePacked", Member(&CUnitState::m_nLatitudePacked)},
        {"m_nLongitudePacked", Member(&CUnitState::m_nLongitudePacked)},
        {"m_fHeight", Member(&CUnitState::m_fHeight)},
        {"m_nAveragingCount", Member(&CUnitState::m_nAveragingCount)},
        {"m_nAveragingHours", Member(&CUnitState::m_nAveragingHours)},
        {"m_dVelocityEast", Member(&CUnitState::m_dVelocityEast)},
        {"m_dVelocityNorth", Member(&CUnitState::m_dVelocityNorth)},
        {"m_dVelocityUp", Member(&CUnitState::m_dVelocityUp)},
        {"m_nMaskAngle", Member(&CUnitState::m_nMaskAngle)},
        // Configuration echoes
        {"m_strAntennaDelay", Member(&CUnitState::m_strAntennaDelay)},
        {"m_bBeepEnabled", Member(&CUnitState::m_bBeepEnabled)},
        {"m_nTodRate", Member(&CUnitState::m_nTodRate)},
        {"m_bPulseAfterWarmup", Member(&CUnitState::m_bPulseAfterWarmup)},
        {"m_bPulseEverySecond", Member(&CUnitState::m_bPulseEverySecond)},
        {"m_bPulsePositive", Member(&CUnitState::m_bPulsePositive)},
        {"m_szPulseOffset", Member(&CUnitState::m_szPulseOffset)},
        {"m_szPulseWidth", Member(&CUnitState::m_szPulseWidth)},
        {"m_nPulseWidth", Member(&CUnitState::m_nPulseWidth)},
        {"m_chTimeTagMode", Member(&CUnitState::m_chTimeTagMode)},
        {"m_strEventStart", Member(&CUnitState::m_strEventStart)},
        {"m_strEventPeriod", Member(&CUnitState::m_strEventPeriod)},
        {"m_strEventWidth", Member(&CUnitState::m_strEventWidth)},
        {"m_chEventInvert", Member(&CUnitState::m_chEventInvert)},
        // Program-side bookkeeping
        {"m_chSubscribedPositionMode", Member(&CUnitState::m_chSubscribedPositionMode)},
    };
    return table;
}

// "NAME[i]" with i a plain decimal below |count|; the rest after ']' in |tail|.
bool Indexed(std::string_view name, std::string_view array, std::size_t count, std::size_t& index,
             std::string_view& tail)
{
    if (name.substr(0, array.size()) != array || name.size() <= array.size() + 2 || name[array.size()] != '[')
        return false;
    std::size_t close = name.find(']', array.size());
    std::string_view digits = name.substr(array.size() + 1, close == std::string_view::npos ? 0 : close - array.size() - 1);
    if (digits.empty() || digits.size() > 2) return false;
    index = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        index = index * 10 + static_cast<std::size_t>(c - '0');
    }
    if (index >= count) return false;
    tail = name.substr(close + 1);
    return true;
}

std::optional<std::string> ArrayValue(const CUnitState& s, std::string_view name)
{
    std::size_t i = 0;
    std::string_view tail;
    constexpr std::size_t kTimeDiffs = sizeof s.m_anTimeDiff / sizeof s.m_anTimeDiff[0];
    constexpr std::size_t kSatellites = sizeof s.m_aSatellites / sizeof s.m_aSatellites[0];
    if (Indexed(name, "m_anTimeDiff", kTimeDiffs, i, tail) && tail.empty())
        return std::to_string(s.m_anTimeDiff[i]);
    if (Indexed(name, "m_aSatellites", kSatellites, i, tail)) {
        const CSatelliteRow& row = s.m_aSatellites[i];
        if (tail == ".m_strPrn") return Quoted(row.m_strPrn);
        if (tail == ".m_nStrength") return std::to_string(row.m_nStrength);
        if (tail == ".m_chTrackMode") return CharValue(row.m_chTrackMode);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> FormatStateMember(const CUnitState& state, std::string_view name)
{
    const auto& table = Table();
    auto it = table.find(name);
    std::optional<std::string> value;
    if (it != table.end()) value = it->second(state);
    else value = ArrayValue(state, name);
    if (!value) return std::nullopt;
    return std::string(name) + " = " + *value;
}

bool IsStateName(std::string_view name)
{
    static const CUnitState sample;
    return FormatStateMember(sample, name).has_value();
}

}  // namespace velmor::replay
