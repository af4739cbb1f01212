#include "history/HistoryRow.h"

namespace velmor {

const char* HistoryMarkerName(HistoryMarker marker)
{
    switch (marker) {
    case HistoryMarker::LinkLost: return "link_lost";
    case HistoryMarker::UnitRestarted: return "unit_restarted";
    case HistoryMarker::PollingPaused: return "polling_paused";
    case HistoryMarker::RecorderRestart: return "recorder_restart";
    case HistoryMarker::None: break;
    }
    return "";
}

HistoryMarker HistoryMarkerFromNumber(std::int64_t number)
{
    if (number <= 0 || number >= kHistoryMarkerCount) return HistoryMarker::None;
    return static_cast<HistoryMarker>(number);
}

bool HistoryMarkerOutranks(HistoryMarker marker, HistoryMarker other)
{
    auto rank = [](HistoryMarker m) {
        switch (m) {
        case HistoryMarker::None: return 0;
        case HistoryMarker::PollingPaused: return 1;
        case HistoryMarker::LinkLost: return 2;
        case HistoryMarker::RecorderRestart: return 3;
        case HistoryMarker::UnitRestarted: return 4;
        }
        return 0;
    };
    return rank(marker) > rank(other);
}

bool CHistoryRow::HasReading() const
{
    return m_nPpsCount > 0 || m_dPpsRawNs || m_dFrequencyError || m_dFrequencyStdError || m_dDac || m_dTemperatureC ||
           m_nDisciplineState || m_nTfom || m_chPositionMode || m_nSatellitesTracked || m_nSatellitesUsed ||
           m_dMeanStrength || m_nCoastDurationS;
}

void CHistoryRow::TakeReadings(const CHistoryRow& newer)
{
    auto take = [](auto& mine, const auto& theirs) {
        if (theirs) mine = theirs;
    };
    take(m_chTimeMode, newer.m_chTimeMode);
    take(m_dPpsRawNs, newer.m_dPpsRawNs);
    take(m_dFrequencyError, newer.m_dFrequencyError);
    take(m_dFrequencyStdError, newer.m_dFrequencyStdError);
    take(m_dDac, newer.m_dDac);
    take(m_dTemperatureC, newer.m_dTemperatureC);
    take(m_nDisciplineState, newer.m_nDisciplineState);
    take(m_nTfom, newer.m_nTfom);
    take(m_chPositionMode, newer.m_chPositionMode);
    take(m_nSatellitesTracked, newer.m_nSatellitesTracked);
    take(m_nSatellitesUsed, newer.m_nSatellitesUsed);
    take(m_dMeanStrength, newer.m_dMeanStrength);
    take(m_nCoastDurationS, newer.m_nCoastDurationS);
}

const char* HistoryQuantityColumn(HistoryQuantity quantity)
{
    switch (quantity) {
    case HistoryQuantity::PpsOffset: return "pps_offset_ns";
    case HistoryQuantity::FrequencyError: return "frequency_error";
    case HistoryQuantity::FrequencyStdError: return "frequency_std_error";
    case HistoryQuantity::Dac: return "dac";
    case HistoryQuantity::Temperature: return "temperature_c";
    case HistoryQuantity::SatellitesTracked: return "satellites_tracked";
    case HistoryQuantity::SatellitesUsed: return "satellites_used";
    case HistoryQuantity::MeanStrength: return "mean_strength";
    case HistoryQuantity::Tfom: return "tfom";
    case HistoryQuantity::CoastDuration: return "coast_duration_s";
    case HistoryQuantity::Count: break;
    }
    return "pps_offset_ns";
}

std::optional<double> HistoryQuantityValue(const CHistoryRow& row, HistoryQuantity quantity)
{
    auto asDouble = [](const auto& value) -> std::optional<double> {
        if (!value) return std::nullopt;
        return static_cast<double>(*value);
    };
    switch (quantity) {
    case HistoryQuantity::PpsOffset: return row.m_dPpsOffsetNs;
    case HistoryQuantity::FrequencyError: return row.m_dFrequencyError;
    case HistoryQuantity::FrequencyStdError: return row.m_dFrequencyStdError;
    case HistoryQuantity::Dac: return row.m_dDac;
    case HistoryQuantity::Temperature: return row.m_dTemperatureC;
    case HistoryQuantity::SatellitesTracked: return asDouble(row.m_nSatellitesTracked);
    case HistoryQuantity::SatellitesUsed: return asDouble(row.m_nSatellitesUsed);
    case HistoryQuantity::MeanStrength: return row.m_dMeanStrength;
    case HistoryQuantity::Tfom: return asDouble(row.m_nTfom);
    case HistoryQuantity::CoastDuration: return asDouble(row.m_nCoastDurationS);
    case HistoryQuantity::Count: break;
    }
    return std::nullopt;
}

}  // namespace velmor
