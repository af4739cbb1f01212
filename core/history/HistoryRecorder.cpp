#include "history/HistoryRecorder.h"

#include <chrono>

#include "history/HistoryStore.h"
#include "history/HistoryTime.h"

namespace velmor {

namespace {

// A unit whose time report is older than this is treated as one without.
constexpr std::uint64_t kTimeReportSilenceMs = 1500;
constexpr std::uint64_t kTickRowIntervalMs = 1000;

std::optional<int> Digit(char c)
{
    if (c < '0' || c > '9') return std::nullopt;
    return c - '0';
}

std::optional<char> Letter(char c)
{
    if (c <= ' ' || c > '~' || c == '?') return std::nullopt;
    return c;
}

}  // namespace

CHistoryRecorder::CHistoryRecorder(CHistoryStore& store, std::string device, Clock clock)
    : m_store(store), m_strDevice(std::move(device)), m_clock(clock ? std::move(clock) : Clock(SystemUtcMs))
{
    // Whatever came before this row, nobody recorded it.
    m_next.m_marker = HistoryMarker::RecorderRestart;
}

void CHistoryRecorder::OnObservation(const CObservation& observation)
{
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled:
        if (observation.m_uReported == 0) return;
        Absorb(observation);
        if (observation.m_readings.JustReported(observation.m_readings.m_unitTime)) {
            m_bTimeReportSeen = true;
            m_qwLastTimeReportTick = observation.m_qwTick;
            EmitRow(true);
        }
        break;
    case LinkEvent::PortClosed:
        // A setup dialog reopens the port while polling is paused.
        if (!m_bPollingPaused) MarkLinkLost();
        break;
    case LinkEvent::PortLost:
        MarkLinkLost();
        break;
    case LinkEvent::UnitRestarted:
        MarkUnitRestarted();
        break;
    case LinkEvent::PollingPaused:
        m_bPollingPaused = true;
        MarkPollingPaused();
        break;
    case LinkEvent::PollingResumed:
        m_bPollingPaused = false;
        break;
    default:
        break;
    }
}

void CHistoryRecorder::Absorb(const CObservation& o)
{
    const CReadings& d = o.m_readings;
    CHistoryRow& r = m_next;
    m_bReportedSinceRow = true;

    if (o.Has(Reported::Identification) || (m_strPartNumber.empty() && d.m_bIdentified)) {
        if (d.m_strPartNumber != m_strPartNumber || d.m_nProductType != m_nProductType) {
            m_strPartNumber = d.m_strPartNumber;
            m_nProductType = d.m_nProductType;
            m_bUnitChanged = true;
        }
    }
    if (d.JustReported(d.m_firmware) && *d.m_firmware.m_value != m_strFirmware) {
        m_strFirmware = *d.m_firmware.m_value;
        m_bUnitChanged = true;
    }
    if (d.JustReported(d.m_unitTime)) {
        const CUnitTime& t = *d.m_unitTime.m_value;
        r.m_nUnitYear = t.m_nYear;
        r.m_nUnitMonth = t.m_nMonth;
        r.m_nUnitDay = t.m_nDay;
        r.m_szUnitTimeOfDay = t.m_strTimeOfDay;
    }
    if (d.JustReported(d.m_timeMode)) r.m_chTimeMode = Letter(d.m_timeMode.m_value->m_chRaw);
    if (d.JustReported(d.m_tfom)) r.m_nTfom = d.m_tfom.m_value;
    // The unit's own digit is kept, even one this program does not name.
    if (d.JustReported(d.m_disciplineState)) r.m_nDisciplineState = Digit(d.m_disciplineState.m_value->m_chRaw);
    if (d.JustReported(d.m_leapSeconds)) m_nLeapSeconds = d.m_leapSeconds.m_value;
    if (d.JustReported(d.m_ppsOffsetNs)) {
        const double value = *d.m_ppsOffsetNs.m_value;
        if (r.m_nPpsCount < kMaxPpsSamplesPerRow) r.m_adPpsSamples[static_cast<std::size_t>(r.m_nPpsCount)] = value;
        if (r.m_nPpsCount < 1000000) ++r.m_nPpsCount;
        r.m_dPpsOffsetNs = value;
    }
    // The raw difference is a separate reading, not a sample of the offset.
    if (d.JustReported(d.m_rawPpsOffsetNs)) r.m_dPpsRawNs = d.m_rawPpsOffsetNs.m_value;
    if (d.JustReported(d.m_frequencyError)) r.m_dFrequencyError = d.m_frequencyError.m_value;
    if (d.JustReported(d.m_frequencyStdError)) r.m_dFrequencyStdError = d.m_frequencyStdError.m_value;
    if (d.JustReported(d.m_dac)) r.m_dDac = d.m_dac.m_value;
    if (d.JustReported(d.m_temperatureC)) r.m_dTemperatureC = d.m_temperatureC.m_value;
    if (d.JustReported(d.m_positionMode)) r.m_chPositionMode = Letter(d.m_positionMode.m_value->m_chRaw);
    if (d.JustReported(d.m_satellites)) {
        r.m_nSatellitesTracked = d.m_nSatellitesTracked;
        r.m_nSatellitesUsed = d.m_nSatellitesUsed;
        r.m_dMeanStrength = d.m_dMeanStrength;
    }
    if (d.JustReported(d.m_coastDurationS)) r.m_nCoastDurationS = d.m_coastDurationS.m_value;
}

void CHistoryRecorder::EmitRow(bool withUnitTime)
{
    const bool storeElsewhere = m_store.ClaimUnit(this);
    if (m_bUnitChanged || storeElsewhere) {
        m_store.SetUnit(m_strPartNumber, m_strDevice, m_strFirmware, m_nProductType);
        m_bUnitChanged = false;
    }
    CHistoryRow& r = m_next;
    r.m_llHostMs = m_clock();
    if (withUnitTime && r.m_nUnitYear && r.m_chTimeMode)
        r.m_llUnitUtcMs = UnitTimeToUtcMs(*r.m_nUnitYear, r.m_szUnitTimeOfDay.c_str(), *r.m_chTimeMode, m_nLeapSeconds);
    m_store.Append(r);

    // What belongs to this row only: the unit's time, the samples, the marker.
    r.m_nUnitYear.reset();
    r.m_nUnitMonth.reset();
    r.m_nUnitDay.reset();
    r.m_szUnitTimeOfDay = std::string_view();
    r.m_llUnitUtcMs.reset();
    r.m_dPpsOffsetNs.reset();
    r.m_nPpsCount = 0;
    r.m_marker = HistoryMarker::None;
    m_bReportedSinceRow = false;
}

void CHistoryRecorder::OnTick(std::uint64_t qwTick)
{
    if (m_bTimeReportSeen && qwTick - m_qwLastTimeReportTick < kTimeReportSilenceMs) return;
    if (!m_bReportedSinceRow) return;
    if (m_bTickRowWritten && qwTick - m_qwLastTickRow < kTickRowIntervalMs) return;
    m_bTickRowWritten = true;
    m_qwLastTickRow = qwTick;
    EmitRow(false);
}

void CHistoryRecorder::ForgetUnitValues(HistoryMarker marker)
{
    // Values from before the interruption no longer describe the unit.
    m_next = CHistoryRow();
    m_nLeapSeconds.reset();
    m_bReportedSinceRow = false;
    m_next.m_marker = marker;
}

void CHistoryRecorder::Mark(HistoryMarker marker)
{
    // A stronger statement already waiting for the row stays.
    ForgetUnitValues(HistoryMarkerOutranks(m_next.m_marker, marker) ? m_next.m_marker : marker);
}

void CHistoryRecorder::MarkLinkLost() { Mark(HistoryMarker::LinkLost); }
void CHistoryRecorder::MarkUnitRestarted() { Mark(HistoryMarker::UnitRestarted); }
void CHistoryRecorder::MarkPollingPaused() { Mark(HistoryMarker::PollingPaused); }

void CHistoryRecorder::SetDevice(std::string device)
{
    if (device == m_strDevice) return;
    m_strDevice = std::move(device);
    m_bUnitChanged = true;
}

}  // namespace velmor
