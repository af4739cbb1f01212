#include "history/HistoryRecorder.h"

#include <algorithm>

#include "history/HistoryStore.h"
#include "history/HistoryTime.h"
#include "readings/Rules.h"

namespace velmor {

namespace {

// A row is closed this long after its time report even when the next one
// does not come (it was lost, or the unit stopped sending it).
constexpr std::uint64_t kRowCloseMs = 1500;
// A unit's second is taken to last no less than this on the host's tick.
constexpr std::uint64_t kShortestSecondMs = 10;
// A unit without time reports gets a row per this much host time.
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

// The unit's time as a count of seconds on its own scale: consecutive
// seconds of the unit give consecutive counts whatever scale it keeps.
std::optional<std::int64_t> UnitSecondOf(const CUnitTime& time)
{
    // As UTC: no leap seconds added, no offset; only the count matters.
    const auto ms = UnitTimeToUtcMs(time.m_nYear, time.m_strTimeOfDay, '2', std::nullopt);
    if (!ms) return std::nullopt;
    return *ms / 1000;
}

void AppendSample(CHistoryRow& row, double value)
{
    if (row.m_nPpsCount < kMaxPpsSamplesPerRow) row.m_adPpsSamples[static_cast<std::size_t>(row.m_nPpsCount)] = value;
    if (row.m_nPpsCount < 1000000) ++row.m_nPpsCount;
    row.m_dPpsOffsetNs = value;
}

void ClearSamples(CHistoryRow& row)
{
    row.m_nPpsCount = 0;
    row.m_dPpsOffsetNs.reset();
}

}  // namespace

CHistoryRecorder::CHistoryRecorder(CHistoryStore& store, std::string device, Clock clock)
    : m_store(store), m_strDevice(std::move(device)), m_clock(clock ? std::move(clock) : Clock(SystemUtcMs))
{
}

CHistoryRecorder::~CHistoryRecorder() { Finish(false); }

void CHistoryRecorder::OnObservation(const CObservation& observation)
{
    if (m_bStopped) return;
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled: {
        if (observation.m_uReported == 0) return;
        const CReadings& d = observation.m_readings;
        if (d.JustReported(d.m_unitTime)) {
            OnTimeReport(observation);
            Absorb(observation, m_open);
            break;
        }
        const CPlace place = PlaceOf(observation.m_qwTick);
        const bool open = BelongsToOpenRow(place);
        if (!open && !m_bAheadUsed) {
            m_bAheadUsed = true;
            m_qwAheadTick = observation.m_qwTick;
            m_llAheadHostMs = m_clock();
        }
        Absorb(observation, open ? m_open : m_ahead);
        if (d.JustReported(d.m_ppsOffsetNs)) {
            const double value = *d.m_ppsOffsetNs.m_value;
            if (open) {
                bool surplus = false;
                AddSample(m_open, place.m_llSecond, value, surplus);
            } else {
                AddSampleAhead(place, value, observation.m_qwTick);
            }
        }
        break;
    }
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

CHistoryRecorder::CPlace CHistoryRecorder::PlaceOf(std::uint64_t qwTick) const
{
    CPlace place;
    if (!m_bReportSeen || qwTick < m_qwReportTick || qwTick - m_qwReportTick >= kStaleMs) return place;
    place.m_bReference = true;
    place.m_llOffset = static_cast<std::int64_t>((qwTick - m_qwReportTick + m_qwSecondMs / 2) / m_qwSecondMs);
    if (m_llReportSecond) place.m_llSecond = *m_llReportSecond + place.m_llOffset;
    return place;
}

bool CHistoryRecorder::BelongsToOpenRow(const CPlace& place) const
{
    return m_bOpen && place.m_bReference && place.m_llOffset < m_nSpan;
}

void CHistoryRecorder::OnTimeReport(const CObservation& o)
{
    const CUnitTime& time = *o.m_readings.m_unitTime.m_value;
    const std::optional<std::int64_t> second = UnitSecondOf(time);
    CloseOpenRow();
    // Samples placed on seconds before this report: their own report was
    // lost, so they make a row of their own.
    if (m_bAheadUsed && m_ahead.m_nPpsCount > 0 && m_ahead.m_llUnitSecond && second &&
        *m_ahead.m_llUnitSecond < *second)
        FlushAhead(false);
    if (m_llReportSecond && second && m_bReportSeen) {
        const std::int64_t apart = *second - *m_llReportSecond;
        if (apart == 1 || apart == 2) {
            // Two seconds apart twice running: the unit reports every even
            // second (once could be a lost report).
            m_nSpan = apart == 2 && m_nLastApart == 2 ? 2 : 1;
            m_nLastApart = static_cast<int>(apart);
            // How long the unit's second lasts on the host's tick: a second,
            // or less when a simulated unit runs fast. Late reports never
            // make it longer.
            const std::uint64_t perSecond = (o.m_qwTick - m_qwReportTick) / static_cast<std::uint64_t>(apart);
            m_qwSecondMs = std::clamp<std::uint64_t>(perSecond, kShortestSecondMs, 1000);
        }
    }
    m_bReportSeen = true;
    m_qwReportTick = o.m_qwTick;
    m_llReportSecond = second;

    m_open = CHistoryRow();
    m_open.TakeReadings(m_carry);
    if (m_bAheadUsed) {
        // What came just before the report belongs to its second (the unit
        // sent its readings first).
        m_open.TakeReadings(m_ahead);
        // A sample nothing could place belongs to this second only if it
        // came in the half second before the report.
        const bool placed = m_ahead.m_llUnitSecond || o.m_qwTick - m_qwAheadPpsTick <= m_qwSecondMs / 2;
        for (int i = 0; placed && i < m_ahead.PpsSamplesKept(); ++i)
            AppendSample(m_open, m_ahead.m_adPpsSamples[static_cast<std::size_t>(i)]);
        m_ahead = CHistoryRow();
        m_bAheadUsed = false;
    }
    m_open.m_llUnitSecond = second;
    m_open.m_nUnitYear = time.m_nYear;
    m_open.m_nUnitMonth = time.m_nMonth;
    m_open.m_nUnitDay = time.m_nDay;
    m_open.m_szUnitTimeOfDay = time.m_strTimeOfDay;
    m_open.m_llHostMs = m_clock();
    m_bOpen = true;
}

void CHistoryRecorder::Absorb(const CObservation& o, CHistoryRow& r)
{
    const CReadings& d = o.m_readings;
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
    if (d.JustReported(d.m_timeMode)) r.m_chTimeMode = Letter(d.m_timeMode.m_value->m_chRaw);
    if (d.JustReported(d.m_tfom)) r.m_nTfom = d.m_tfom.m_value;
    // The unit's own digit is kept, even one this program does not name.
    if (d.JustReported(d.m_disciplineState)) r.m_nDisciplineState = Digit(d.m_disciplineState.m_value->m_chRaw);
    if (d.JustReported(d.m_leapSeconds)) m_nLeapSeconds = d.m_leapSeconds.m_value;
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

void CHistoryRecorder::AddSample(CHistoryRow& row, std::optional<std::int64_t> second, double value, bool& surplus)
{
    surplus = false;
    if (row.m_nPpsCount == 0) {
        // The row's seconds start at its first sample's (the report's own
        // sample may have been lost).
        if (second) row.m_llUnitSecond = second;
    } else if (second && row.m_llUnitSecond && *second != *row.m_llUnitSecond + row.m_nPpsCount) {
        // A second that already has its sample (or one the row cannot
        // reach without a hole): the unit's time cannot place it.
        surplus = true;
        return;
    }
    AppendSample(row, value);
}

void CHistoryRecorder::AddSampleAhead(const CPlace& place, double value, std::uint64_t qwTick)
{
    if (!place.m_llSecond) {
        // Nothing to count from: the sample goes with the next time report,
        // and a later one replaces it.
        ClearSamples(m_ahead);
        m_ahead.m_llUnitSecond.reset();
        AppendSample(m_ahead, value);
        m_qwAheadPpsTick = qwTick;
        return;
    }
    if (m_ahead.m_nPpsCount > 0) {
        if (!m_ahead.m_llUnitSecond) {
            ClearSamples(m_ahead);
        } else if (*place.m_llSecond > *m_ahead.m_llUnitSecond + m_ahead.m_nPpsCount) {
            // A second between has no sample: what came so far is a row.
            FlushAhead(false);
            m_bAheadUsed = true;
            m_qwAheadTick = qwTick;
            m_llAheadHostMs = m_clock();
        }
    }
    bool surplus = false;
    AddSample(m_ahead, place.m_llSecond, value, surplus);
}

void CHistoryRecorder::CloseOpenRow()
{
    if (!m_bOpen) return;
    m_bOpen = false;
    CHistoryRow& r = m_open;
    if (r.m_nUnitYear && r.m_chTimeMode)
        r.m_llUnitUtcMs = UnitTimeToUtcMs(*r.m_nUnitYear, r.m_szUnitTimeOfDay.c_str(), *r.m_chTimeMode, m_nLeapSeconds);
    m_carry.TakeReadings(r);
    Emit(r);
}

void CHistoryRecorder::FlushAhead(bool withHostTimeNow)
{
    CHistoryRow row;
    row.TakeReadings(m_carry);
    row.TakeReadings(m_ahead);
    row.m_llUnitSecond = m_ahead.m_llUnitSecond;
    row.m_nPpsCount = m_ahead.m_nPpsCount;
    row.m_adPpsSamples = m_ahead.m_adPpsSamples;
    row.m_dPpsOffsetNs = m_ahead.m_dPpsOffsetNs;
    row.m_llHostMs = withHostTimeNow ? m_clock() : m_llAheadHostMs;
    m_carry.TakeReadings(m_ahead);
    m_ahead = CHistoryRow();
    m_bAheadUsed = false;
    Emit(row);
}

void CHistoryRecorder::Emit(CHistoryRow& row)
{
    // A row of the unit's time alone (the first report after a start) says nothing.
    if (!row.HasReading()) return;
    const bool storeElsewhere = m_store.ClaimUnit(this);
    if (m_bUnitChanged || storeElsewhere) {
        m_store.SetUnit(m_strPartNumber, m_strDevice, m_strFirmware, m_nProductType);
        m_bUnitChanged = false;
    }
    row.m_marker = m_marker;
    m_marker = HistoryMarker::None;
    m_store.Append(row);
    m_bWroteRow = true;
}

void CHistoryRecorder::OnTick(std::uint64_t qwTick)
{
    if (m_bStopped) return;
    if (m_bOpen && qwTick >= m_qwReportTick && qwTick - m_qwReportTick >= kRowCloseMs) CloseOpenRow();
    if (!m_bAheadUsed || qwTick < m_qwAheadTick) return;
    const bool reports = m_bReportSeen && qwTick - m_qwReportTick < kRowCloseMs;
    if (m_ahead.m_nPpsCount > 0 && m_ahead.m_llUnitSecond) {
        // Samples the unit's time placed, whose time report never came.
        if (qwTick - m_qwAheadTick >= kRowCloseMs) FlushAhead(false);
        return;
    }
    if (reports || qwTick - m_qwAheadTick < kTickRowIntervalMs) return;
    if (m_bTickRowWritten && qwTick - m_qwLastTickRow < kTickRowIntervalMs) return;
    m_bTickRowWritten = true;
    m_qwLastTickRow = qwTick;
    FlushAhead(true);
}

void CHistoryRecorder::Stop() { Finish(true); }

void CHistoryRecorder::Finish(bool clean)
{
    if (m_bStopped) return;
    CloseOpenRow();
    if (m_bAheadUsed && m_ahead.m_nPpsCount > 0 && m_ahead.m_llUnitSecond) FlushAhead(false);
    m_bStopped = true;
    if (!clean || !m_bWroteRow) return;
    if (m_store.ClaimUnit(this)) m_store.SetUnit(m_strPartNumber, m_strDevice, m_strFirmware, m_nProductType);
    m_store.AppendCleanStop();
}

void CHistoryRecorder::ForgetUnitValues(HistoryMarker marker)
{
    m_ahead = CHistoryRow();
    m_bAheadUsed = false;
    m_carry = CHistoryRow();
    m_nLeapSeconds.reset();
    m_bReportSeen = false;
    m_llReportSecond.reset();
    m_nSpan = 1;
    m_nLastApart = 0;
    m_marker = marker;
}

void CHistoryRecorder::Mark(HistoryMarker marker)
{
    // What the open row gathered is from before the interruption: it is
    // written first. Anything after it, and every value, no longer
    // describes the unit.
    CloseOpenRow();
    // A stronger statement already waiting for the row stays.
    ForgetUnitValues(HistoryMarkerOutranks(m_marker, marker) ? m_marker : marker);
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
