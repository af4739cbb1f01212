#include "readings/Decode.h"

#include "protocol/Reported.h"
#include "readings/Rules.h"
#include "text/Numbers.h"

namespace velmor {

namespace {

bool Has(std::uint32_t reported, Reported what) { return (reported & static_cast<std::uint32_t>(what)) != 0; }

std::optional<int> Digit(char c)
{
    if (c < '0' || c > '9') return std::nullopt;
    return c - '0';
}

template <typename E>
CEnumReading<E> EnumOf(E value, char raw)
{
    return CEnumReading<E>{value, raw};
}

}  // namespace

DisciplineState DecodeDisciplineState(char raw)
{
    switch (raw) {
    case '0': return DisciplineState::WarmUp;
    case '1': return DisciplineState::Locked;
    case '2': return DisciplineState::Holdover;
    case '3': return DisciplineState::Recovering;
    case '4': return DisciplineState::Manual;
    case '5': return DisciplineState::Learning;
    default: return DisciplineState::Unknown;
    }
}

TimeMode DecodeTimeMode(char raw)
{
    switch (raw) {
    case '1': case 'G': return TimeMode::Gps;
    case '2': case 'U': return TimeMode::Utc;
    case '3': return TimeMode::LocalGps;
    case '4': return TimeMode::LocalUtc;
    default: return TimeMode::Unknown;
    }
}

PositionMode DecodePositionMode(char raw)
{
    switch (raw) {
    case 'D': return PositionMode::Dynamic;
    case 'K': return PositionMode::Known;
    case 'P': case 'S': return PositionMode::Averaging;
    default: return PositionMode::Unknown;
    }
}

void DecodeSatellites(const CUnitState& state, std::vector<CSatellite>& satellites)
{
    satellites.clear();
    int channels = state.m_chGpsChannels - '0';
    if (channels < 1 || channels > 8) channels = 8;
    for (int i = 0; i < channels; ++i) {
        const CSatelliteRow& row = state.m_aSatellites[i];
        const auto prn = ParseStrictInt(row.m_strPrn);
        // "00" marks an empty channel; a channel still searching tracks nothing.
        if (!prn || *prn <= 0 || *prn > 999 || row.m_chTrackMode == '0') continue;
        satellites.push_back(CSatellite{static_cast<int>(*prn), row.m_nStrength,
                                        IsSatelliteInUse(row.m_chTrackMode, state.m_nProductType)});
    }
}

void UpdateReadings(CReadings& r, const CUnitState& s, std::uint32_t reported, std::string_view keyword,
                    std::uint64_t tick)
{
    if (r.m_bIdentified != s.m_bIdentified || Has(reported, Reported::Identification)) {
        r.m_bIdentified = s.m_bIdentified;
        r.m_strPartNumber = s.m_strPartNumber;
    }
    r.m_nProductType = s.m_nProductType;
    const std::uint64_t n = ++r.m_qwSentences;
    if (keyword == "TIME" || keyword == "TM") r.m_timeReport.Set(true, tick, n);
    if (reported == 0) return;

    if (Has(reported, Reported::Firmware)) {
        // Question marks stand for what the unit has not said yet.
        r.m_firmware.Set(s.m_strVersion, tick, n);
        r.m_bFirmwareKnown = s.m_strVersion.find('?') == std::string::npos;
    }
    if (Has(reported, Reported::UnitTime)) {
        if (!r.m_unitTime.m_value) r.m_unitTime.m_value.emplace();
        CUnitTime& t = *r.m_unitTime.m_value;
        t.m_nYear = s.m_nYear;
        t.m_nMonth = s.m_nMonth;
        t.m_nDay = s.m_nDay;
        t.m_strTimeOfDay = s.m_strTimeOfDay;
        r.m_unitTime.m_qwTick = tick;
        r.m_unitTime.m_qwSentence = n;
    }
    if (Has(reported, Reported::TimeMode))
        r.m_timeMode.Set(EnumOf(DecodeTimeMode(s.m_chTimeMode), s.m_chTimeMode), tick, n);
    if (Has(reported, Reported::Tfom)) r.m_tfom.Set(Digit(s.m_chTfom), tick, n);
    if (Has(reported, Reported::DisciplineState))
        r.m_disciplineState.Set(EnumOf(DecodeDisciplineState(s.m_chDisciplineState), s.m_chDisciplineState), tick, n);
    if (Has(reported, Reported::LeapSeconds)) {
        const auto leap = ParseStrictInt(s.m_strLeapNow);
        r.m_leapSeconds.Set(leap && *leap >= 0 && *leap < 100 ? std::optional<int>(static_cast<int>(*leap))
                                                               : std::nullopt,
                            tick, n);
    }
    if (Has(reported, Reported::CoastDuration)) {
        // The output-status report carries the coast count, not the duration.
        if (keyword == "OUTQ") r.m_coastCount.Set(s.m_nCoastCount, tick, n);
        else r.m_coastDurationS.Set(s.m_nCoastDuration, tick, n);
    }
    // A repeated time difference is a sample like any other: the ring skips
    // it, but m_nLastTimeDiff holds the value just reported.
    if (Has(reported, Reported::PpsOffset)) r.m_ppsOffsetNs.Set(static_cast<double>(s.m_nLastTimeDiff), tick, n);
    if (Has(reported, Reported::RawPpsOffset)) r.m_rawPpsOffsetNs.Set(s.m_dRawTimeDiff, tick, n);
    if (Has(reported, Reported::FrequencyError)) r.m_frequencyError.Set(ParseStrictDouble(s.m_strFreqErrorEstimate), tick, n);
    if (Has(reported, Reported::FrequencyStdError))
        r.m_frequencyStdError.Set(ParseStrictDouble(s.m_strStdErrorEstimate), tick, n);
    if (Has(reported, Reported::Dac)) r.m_dac.Set(ParseStrictDouble(s.m_strDacValue), tick, n);
    if (Has(reported, Reported::Temperature)) r.m_temperatureC.Set(ParseStrictDouble(s.m_strTemperature), tick, n);
    if (Has(reported, Reported::PositionMode))
        r.m_positionMode.Set(EnumOf(DecodePositionMode(s.m_chPositionMode), s.m_chPositionMode), tick, n);
    if (Has(reported, Reported::Satellites)) {
        if (!r.m_satellites.m_value) r.m_satellites.m_value.emplace();
        std::vector<CSatellite>& satellites = *r.m_satellites.m_value;
        DecodeSatellites(s, satellites);
        r.m_satellites.m_qwTick = tick;
        r.m_satellites.m_qwSentence = n;
        int used = 0;
        long long strength = 0;
        for (const CSatellite& sat : satellites) {
            used += sat.m_bInUse ? 1 : 0;
            strength += sat.m_nStrength;
        }
        r.m_nSatellitesTracked = static_cast<int>(satellites.size());
        r.m_nSatellitesUsed = used;
        r.m_dMeanStrength = satellites.empty() ? std::nullopt
                                               : std::optional<double>(static_cast<double>(strength) /
                                                                       static_cast<double>(satellites.size()));
    }
}

}  // namespace velmor
