#include "MetricsObserver.h"

#include <chrono>

#include "readings/Rules.h"

namespace velmor {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;

double SystemWallClock()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

CMetricsObserver::CMetricsObserver(prometheus::Registry& registry, std::string device,
                                   std::function<double()> wallClock)
    : m_strDevice(std::move(device)),
      m_wallClock(wallClock ? std::move(wallClock) : std::function<double()>(SystemWallClock)),
      m_up(BuildGauge()
               .Name("velmor_up")
               .Help("1 while the device is open and the unit has identified itself on it")
               .Register(registry)),
      m_fresh(BuildGauge()
                  .Name("velmor_data_fresh")
                  .Help("1 while the unit's time reports are fresh (the reading gauges exist only then)")
                  .Register(registry)),
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
      m_sentences(BuildCounter().Name("velmor_sentences_total").Help("Sentences handled").Register(registry).Add({{"device", m_strDevice}})),
      m_checksumErrors(BuildCounter()
                           .Name("velmor_checksum_errors_total")
                           .Help("Sentences whose checksum did not match")
                           .Register(registry)
                           .Add({{"device", m_strDevice}})),
      m_reconnects(BuildCounter()
                       .Name("velmor_reconnects_total")
                       .Help("Times the port opened again after the first opening")
                       .Register(registry)
                       .Add({{"device", m_strDevice}})),
      m_receivedBytes(BuildCounter()
                          .Name("velmor_received_bytes_total")
                          .Help("Bytes read from the unit")
                          .Register(registry)
                          .Add({{"device", m_strDevice}})),
      m_upGauge(m_up.Add({{"device", m_strDevice}})),
      m_freshGauge(m_fresh.Add({{"device", m_strDevice}}))
{
}

prometheus::Gauge& CMetricsObserver::GaugeOf(prometheus::Family<prometheus::Gauge>& family,
                                             prometheus::Gauge*& slot, const prometheus::Labels& labels)
{
    if (slot == nullptr) {
        // Every series names its device: one monitor may watch several.
        prometheus::Labels withDevice = labels;
        withDevice.emplace("device", m_strDevice);
        slot = &family.Add(withDevice);
    }
    return *slot;
}

void CMetricsObserver::OnObservation(const CObservation& observation)
{
    const CReadings& readings = observation.m_readings;
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled: break;
    case LinkEvent::ChecksumError: m_checksumErrors.Increment(); return;
    case LinkEvent::BytesReceived: m_receivedBytes.Increment(static_cast<double>(observation.m_bytes.size())); return;
    case LinkEvent::PortOpened:
        if (m_bEverOpened) m_reconnects.Increment();
        m_bEverOpened = true;
        // Whoever answers on the reopened device has to say who it is again.
        m_bDeviceOpen = true;
        m_bIdentifiedSinceOpen = false;
        Evaluate(observation.m_qwTick, readings);
        return;
    case LinkEvent::PortRestored:
        // Told by the recovery in addition to PortOpened; counted there.
        return;
    case LinkEvent::PortClosed:
    case LinkEvent::PortLost:
        m_bDeviceOpen = false;
        m_bIdentifiedSinceOpen = false;
        Evaluate(observation.m_qwTick, readings);
        return;
    case LinkEvent::DataStale:
        m_bStaleByEvent = true;
        Evaluate(observation.m_qwTick, readings);
        return;
    case LinkEvent::DataResumed:
        m_bStaleByEvent = false;
        return;
    default: return;
    }

    m_sentences.Increment();
    GaugeOf(m_lastSentence, m_pLastSentence).Set(m_wallClock());
    if (observation.Has(Reported::Identification) && readings.m_bIdentified) m_bIdentifiedSinceOpen = true;
    if (readings.JustReported(readings.m_timeReport)) m_bStaleByEvent = false;
    if (observation.Has(Reported::Identification) || readings.JustReported(readings.m_firmware)) UpdateInfo(readings);
    Evaluate(observation.m_qwTick, readings);
    // A value that arrives while the time reports have stopped is not shown
    // alone: the graphs keep their gap until the data is fresh again.
    if (!m_bFresh) return;
    const auto fresh = [&readings](const auto& reading) {
        return readings.JustReported(reading) && reading.m_value.has_value();
    };
    if (fresh(readings.m_ppsOffsetNs)) GaugeOf(m_ppsOffset, m_pPpsOffset).Set(*readings.m_ppsOffsetNs.m_value * 1e-9);
    if (fresh(readings.m_frequencyError))
        GaugeOf(m_frequencyError, m_pFrequencyError).Set(*readings.m_frequencyError.m_value);
    if (fresh(readings.m_dac)) GaugeOf(m_dac, m_pDac).Set(*readings.m_dac.m_value);
    if (fresh(readings.m_temperatureC)) GaugeOf(m_temperature, m_pTemperature).Set(*readings.m_temperatureC.m_value);
    if (fresh(readings.m_tfom)) GaugeOf(m_tfom, m_pTfom).Set(*readings.m_tfom.m_value);
    if (fresh(readings.m_disciplineState)) UpdateDisciplineState(*readings.m_disciplineState.m_value);
    if (fresh(readings.m_coastDurationS))
        GaugeOf(m_coastDuration, m_pCoastDuration).Set(*readings.m_coastDurationS.m_value);
    if (readings.JustReported(readings.m_satellites)) UpdateSatellites(readings);
}

void CMetricsObserver::OnTick(std::uint64_t tick, const CReadings& readings, bool deviceOpen)
{
    if (!deviceOpen) m_bIdentifiedSinceOpen = false;
    m_bDeviceOpen = deviceOpen;
    Evaluate(tick, readings);
}

void CMetricsObserver::Evaluate(std::uint64_t tick, const CReadings& readings)
{
    const auto& last = readings.m_timeReport.m_qwTick;
    const bool fresh =
        m_bDeviceOpen && last && !m_bStaleByEvent && tick >= *last && !IsStale(tick - *last);
    m_bUp = m_bDeviceOpen && m_bIdentifiedSinceOpen && readings.m_bIdentified;
    m_upGauge.Set(m_bUp ? 1 : 0);
    if (m_bFresh && !fresh) RemoveReadingGauges();
    m_bFresh = fresh;
    m_freshGauge.Set(m_bFresh ? 1 : 0);
}

void CMetricsObserver::RemoveReadingGauges()
{
    const auto remove = [](prometheus::Family<prometheus::Gauge>& family, prometheus::Gauge*& slot) {
        if (slot != nullptr) family.Remove(slot);
        slot = nullptr;
    };
    remove(m_ppsOffset, m_pPpsOffset);
    remove(m_frequencyError, m_pFrequencyError);
    remove(m_dac, m_pDac);
    remove(m_temperature, m_pTemperature);
    remove(m_tfom, m_pTfom);
    remove(m_coastDuration, m_pCoastDuration);
    remove(m_satellites, m_pSatellitesTracked);
    remove(m_satellites, m_pSatellitesUsed);
    for (auto& state : m_apDisciplineState) remove(m_disciplineState, state);
}

void CMetricsObserver::UpdateInfo(const CReadings& readings)
{
    if (!readings.m_bIdentified) return;
    const std::string firmware =
        readings.m_bFirmwareKnown && readings.m_firmware.m_value ? *readings.m_firmware.m_value : std::string();
    prometheus::Labels labels{{"part_number", readings.m_strPartNumber},
                              {"product_type", std::to_string(readings.m_nProductType)},
                              {"firmware", firmware},
                              {"device", m_strDevice}};
    if (m_pInfo != nullptr && labels == m_infoLabels) return;
    // A new identity replaces the old series rather than adding a second one.
    if (m_pInfo != nullptr) m_info.Remove(m_pInfo);
    m_infoLabels = labels;
    m_pInfo = &m_info.Add(labels);
    m_pInfo->Set(1);
}

void CMetricsObserver::UpdateDisciplineState(const CEnumReading<DisciplineState>& state)
{
    if (m_apDisciplineState[0] == nullptr)
        for (int i = 0; i < 6; ++i) m_apDisciplineState[i] =
                &m_disciplineState.Add({{"state", kDisciplineStates[i]}, {"device", m_strDevice}});
    // An Unknown state leaves every state at 0: the unit said something this
    // program does not name.
    for (int i = 0; i < 6; ++i) m_apDisciplineState[i]->Set(static_cast<int>(state.m_value) == i ? 1 : 0);
}

void CMetricsObserver::UpdateSatellites(const CReadings& readings)
{
    GaugeOf(m_satellites, m_pSatellitesTracked, {{"status", "tracked"}}).Set(readings.m_nSatellitesTracked);
    GaugeOf(m_satellites, m_pSatellitesUsed, {{"status", "used"}}).Set(readings.m_nSatellitesUsed);
}

}  // namespace velmor
