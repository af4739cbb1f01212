#include "MetricsObserver.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "model/ProductTypes.h"

namespace velmor {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;

double SystemWallClock()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// As the page's "Using" reads a channel's track mode for this product type.
bool SatelliteInUse(char trackMode, int productType)
{
    if (trackMode == '1') return HasCapability(productType, kTrackOneIsUsing);
    return trackMode == '2' && !SpeaksLegacyDialect(productType);
}

}  // namespace

bool ParseReading(const std::string& text, double& value)
{
    const char* begin = text.c_str();
    while (*begin == ' ') ++begin;
    if (*begin == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(parsed)) return false;
    while (*end == ' ') ++end;
    if (*end != '\0') return false;
    value = parsed;
    return true;
}

CMetricsObserver::CMetricsObserver(prometheus::Registry& registry, std::string device,
                                   std::function<double()> wallClock)
    : m_strDevice(std::move(device)),
      m_wallClock(wallClock ? std::move(wallClock) : std::function<double()>(SystemWallClock)),
      m_up(BuildGauge().Name("velmor_up").Help("1 while the unit is identified and its data is fresh").Register(registry)),
      m_info(BuildGauge().Name("velmor_unit_info").Help("The unit's identification (value always 1)").Register(registry)),
      m_ppsOffset(BuildGauge()
                      .Name("velmor_pps_offset_seconds")
                      .Help("1PPS time difference to GPS as the unit measured it")
                      .Register(registry)),
      m_frequencyError(BuildGauge()
                           .Name("velmor_frequency_error_ratio")
                           .Help("The unit's estimate of its oscillator's fractional frequency error")
                           .Register(registry)),
      m_dac(BuildGauge().Name("velmor_dac_value").Help("The oscillator control DAC value").Register(registry)),
      m_temperature(BuildGauge()
                        .Name("velmor_temperature_celsius")
                        .Help("The oscillator temperature the unit reports")
                        .Register(registry)),
      m_disciplineState(BuildGauge()
                            .Name("velmor_discipline_state")
                            .Help("The oscillator discipline state (1 for the current state)")
                            .Register(registry)),
      m_tfom(BuildGauge().Name("velmor_tfom").Help("Time figure of merit (0 best ... 9 worst)").Register(registry)),
      m_satellites(BuildGauge().Name("velmor_satellites").Help("GPS satellites by status").Register(registry)),
      m_lastSentence(BuildGauge()
                         .Name("velmor_last_sentence_timestamp_seconds")
                         .Help("Unix time of the last sentence handled")
                         .Register(registry)),
      m_coastDuration(BuildGauge()
                          .Name("velmor_holdover_seconds")
                          .Help("Time spent coasting since the lock was lost")
                          .Register(registry)),
      m_sentences(BuildCounter().Name("velmor_sentences_total").Help("Sentences handled").Register(registry).Add({})),
      m_checksumErrors(BuildCounter()
                           .Name("velmor_checksum_errors_total")
                           .Help("Sentences whose checksum did not match")
                           .Register(registry)
                           .Add({})),
      m_reconnects(BuildCounter()
                       .Name("velmor_reconnects_total")
                       .Help("Times the port opened again after the first opening")
                       .Register(registry)
                       .Add({})),
      m_receivedBytes(BuildCounter()
                          .Name("velmor_received_bytes_total")
                          .Help("Bytes read from the unit")
                          .Register(registry)
                          .Add({})),
      m_upGauge(m_up.Add({}))
{
}

prometheus::Gauge& CMetricsObserver::GaugeOf(prometheus::Family<prometheus::Gauge>& family,
                                             prometheus::Gauge*& slot, const prometheus::Labels& labels)
{
    if (slot == nullptr) slot = &family.Add(labels);
    return *slot;
}

void CMetricsObserver::OnObservation(const CObservation& observation)
{
    const CUnitState& state = observation.m_state;
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled: break;
    case LinkEvent::ChecksumError: m_checksumErrors.Increment(); return;
    case LinkEvent::BytesReceived: m_receivedBytes.Increment(static_cast<double>(observation.m_bytes.size())); return;
    case LinkEvent::PortOpened:
        if (m_bEverOpened) m_reconnects.Increment();
        m_bEverOpened = true;
        return;
    case LinkEvent::PortRestored:
        // Told by the recovery in addition to PortOpened; counted there.
        return;
    case LinkEvent::DataStale:
        m_bStaleByEvent = true;
        OnTick(observation.m_qwTick, state);
        return;
    case LinkEvent::DataResumed:
        m_bStaleByEvent = false;
        return;
    default: return;
    }

    m_sentences.Increment();
    GaugeOf(m_lastSentence, m_pLastSentence).Set(m_wallClock());
    double value = 0;
    if (observation.Has(Reported::UnitTime)) {
        m_bTimeSeen = true;
        m_qwLastTimeReport = observation.m_qwTick;
        m_bStaleByEvent = false;
    }
    if (observation.Has(Reported::PpsOffset)) GaugeOf(m_ppsOffset, m_pPpsOffset).Set(state.m_nLastTimeDiff * 1e-9);
    if (observation.Has(Reported::FrequencyError) && ParseReading(state.m_strFreqErrorEstimate, value))
        GaugeOf(m_frequencyError, m_pFrequencyError).Set(value);
    if (observation.Has(Reported::Dac) && ParseReading(state.m_strDacValue, value)) GaugeOf(m_dac, m_pDac).Set(value);
    if (observation.Has(Reported::Temperature) && ParseReading(state.m_strTemperature, value))
        GaugeOf(m_temperature, m_pTemperature).Set(value);
    if (observation.Has(Reported::Tfom) && state.m_chTfom >= '0' && state.m_chTfom <= '9')
        GaugeOf(m_tfom, m_pTfom).Set(state.m_chTfom - '0');
    if (observation.Has(Reported::DisciplineState)) UpdateDisciplineState(state.m_chDisciplineState);
    if (observation.Has(Reported::CoastDuration))
        GaugeOf(m_coastDuration, m_pCoastDuration).Set(state.m_nCoastDuration);
    if (observation.Has(Reported::Satellites)) UpdateSatellites(state);
    if (observation.Has(Reported::Identification) || observation.Has(Reported::Firmware)) UpdateInfo(state);
    OnTick(observation.m_qwTick, state);
}

void CMetricsObserver::OnTick(std::uint64_t tick, const CUnitState& state)
{
    const bool fresh = m_bTimeSeen && !m_bStaleByEvent && tick >= m_qwLastTimeReport &&
                       tick - m_qwLastTimeReport < kStaleMs;
    m_bUp = state.m_bIdentified && fresh;
    m_upGauge.Set(m_bUp ? 1 : 0);
}

void CMetricsObserver::UpdateInfo(const CUnitState& state)
{
    if (!state.m_bIdentified) return;
    const bool firmwareKnown = state.m_strVersion.find('?') == std::string::npos;
    prometheus::Labels labels{{"part_number", state.m_strPartNumber},
                              {"product_type", std::to_string(state.m_nProductType)},
                              {"firmware", firmwareKnown ? state.m_strVersion : std::string()},
                              {"device", m_strDevice}};
    if (m_pInfo != nullptr && labels == m_infoLabels) return;
    // A new identity replaces the old series rather than adding a second one.
    if (m_pInfo != nullptr) m_info.Remove(m_pInfo);
    m_infoLabels = labels;
    m_pInfo = &m_info.Add(labels);
    m_pInfo->Set(1);
}

void CMetricsObserver::UpdateDisciplineState(char state)
{
    if (m_apDisciplineState[0] == nullptr)
        for (int i = 0; i < 6; ++i) m_apDisciplineState[i] = &m_disciplineState.Add({{"state", kDisciplineStates[i]}});
    // A character outside '0'..'5' leaves every state at 0: the unit said
    // something this program does not name.
    for (int i = 0; i < 6; ++i) m_apDisciplineState[i]->Set(state == '0' + i ? 1 : 0);
}

void CMetricsObserver::UpdateSatellites(const CUnitState& state)
{
    int tracked = 0;
    int used = 0;
    // The rows the unit has channels for, as the page shows them; a channel
    // still searching tracks nothing.
    int channels = state.m_chGpsChannels - '0';
    if (channels <= 0 || channels > 8) channels = 8;
    for (int i = 0; i < channels; ++i) {
        const CSatelliteRow& row = state.m_aSatellites[i];
        if (row.m_strPrn.empty() || row.m_strPrn == "00" || row.m_chTrackMode == '0') continue;
        ++tracked;
        if (SatelliteInUse(row.m_chTrackMode, state.m_nProductType)) ++used;
    }
    GaugeOf(m_satellites, m_pSatellitesTracked, {{"status", "tracked"}}).Set(tracked);
    GaugeOf(m_satellites, m_pSatellitesUsed, {{"status", "used"}}).Set(used);
}

}  // namespace velmor
