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

void CountSatellites(const CUnitState& s, CHistoryRow& row)
{
    // Only the channels the unit has; rows beyond them are leftovers.
    int channels = s.m_chGpsChannels - '0';
    if (channels < 0 || channels > 8) channels = 8;
    int tracked = 0;
    int used = 0;
    long long strength = 0;
    for (int i = 0; i < channels; ++i) {
        const CSatelliteRow& sat = s.m_aSatellites[i];
        const auto prn = ParseStrictInt(sat.m_strPrn);
        if (!prn || *prn <= 0) continue;  // "00" marks an empty channel
        ++tracked;
        strength += sat.m_nStrength;
        if (IsSatelliteInUse(sat.m_chTrackMode, s.m_nProductType)) ++used;
    }
    row.m_nSatellitesTracked = tracked;
    row.m_nSatellitesUsed = used;
    row.m_dMeanStrength = tracked ? std::optional<double>(static_cast<double>(strength) / tracked) : std::nullopt;
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
        if (observation.Has(Reported::UnitTime)) {
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
    const CUnitState& s = o.m_state;
    CHistoryRow& r = m_next;
    m_bReportedSinceRow = true;

    if (o.Has(Reported::Identification) || (m_strPartNumber.empty() && s.m_bIdentified)) {
        if (s.m_strPartNumber != m_strPartNumber || s.m_nProductType != m_nProductType) {
            m_strPartNumber = s.m_strPartNumber;
            m_nProductType = s.m_nProductType;
            m_bUnitChanged = true;
        }
    }
    if (o.Has(Reported::Firmware) && s.m_strVersion != m_strFirmware) {
        m_strFirmware = s.m_strVersion;
        m_bUnitChanged = true;
    }
    if (o.Has(Reported::UnitTime)) {
        r.m_nUnitYear = s.m_nYear;
        r.m_nUnitMonth = s.m_nMonth;
        r.m_nUnitDay = s.m_nDay;
        r.m_szUnitTimeOfDay = s.m_strTimeOfDay;
    }
    if (o.Has(Reported::TimeMode)) r.m_chTimeMode = Letter(s.m_chTimeMode);
    if (o.Has(Reported::Tfom)) r.m_nTfom = Digit(s.m_chTfom);
    if (o.Has(Reported::DisciplineState)) r.m_nDisciplineState = Digit(s.m_chDisciplineState);
    if (o.Has(Reported::LeapSeconds)) {
        const auto leap = ParseStrictInt(s.m_strLeapNow);
        m_nLeapSeconds = leap && *leap >= 0 && *leap < 100 ? std::optional<int>(static_cast<int>(*leap)) : std::nullopt;
    }
    if (o.Has(Reported::PpsOffset)) {
        // The ring skips a repeat, but m_nLastTimeDiff still holds the value
        // just reported; a repeat is a sample like any other.
        const double value = s.m_nLastTimeDiff;
        if (r.m_nPpsCount < kMaxPpsSamplesPerRow) r.m_adPpsSamples[static_cast<std::size_t>(r.m_nPpsCount)] = value;
        if (r.m_nPpsCount < 1000000) ++r.m_nPpsCount;
        r.m_dPpsOffsetNs = value;
    }
    // The raw difference is a separate reading, not a sample of the offset.
    if (o.Has(Reported::RawPpsOffset)) r.m_dPpsRawNs = s.m_dRawTimeDiff;
    if (o.Has(Reported::FrequencyError)) r.m_dFrequencyError = ParseStrictDouble(s.m_strFreqErrorEstimate);
    if (o.Has(Reported::FrequencyStdError)) r.m_dFrequencyStdError = ParseStrictDouble(s.m_strStdErrorEstimate);
    if (o.Has(Reported::Dac)) r.m_dDac = ParseStrictDouble(s.m_strDacValue);
    if (o.Has(Reported::Temperature)) r.m_dTemperatureC = ParseStrictDouble(s.m_strTemperature);
    if (o.Has(Reported::PositionMode)) r.m_chPositionMode = Letter(s.m_chPositionMode);
    if (o.Has(Reported::Satellites)) CountSatellites(s, r);
    // The output-status report carries the coast count, not the duration.
    if (o.Has(Reported::CoastDuration) && o.m_keyword != "OUTQ") r.m_nCoastDurationS = s.m_nCoastDuration;
}

void CHistoryRecorder::EmitRow(bool withUnitTime)
{
    if (m_bUnitChanged) {
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
