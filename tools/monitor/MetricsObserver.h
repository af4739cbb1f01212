#pragma once
// The unit's data as Prometheus metrics. An observer of the program: each
// observation updates the gauges and counters of one registry, which the
// exporter's own thread serialises on a scrape (the values are atomic and the
// families lock themselves, so nothing more is shared).
//
// Gauges appear only once the unit has reported the quantity: a scrape before
// then shows no series rather than a zero that looks like a reading. The
// reading gauges also go away (are removed, not frozen) whenever the data is
// not fresh, so a graph shows a gap where there was no data; the counters,
// velmor_unit_info and the last-sentence time stay.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include "observe/Observation.h"

namespace velmor {

class CMetricsObserver : public IUnitObserver {
public:
    // |device| labels every series (device="..."). |wallClock| gives the Unix time in
    // seconds (the system clock unless a test replaces it).
    CMetricsObserver(prometheus::Registry& registry, std::string device,
                     std::function<double()> wallClock = {});

    void OnObservation(const CObservation& observation) override;
    // The poll tick, after the session's own: |deviceOpen| is whether the
    // session has its device open (and not lost). velmor_up and
    // velmor_data_fresh change on the tick that sees the change.
    void OnTick(std::uint64_t tick, const CReadings& readings, bool deviceOpen);

    // The discipline states in the order of the unit's state characters
    // '0'..'5'; the label values of velmor_discipline_state.
    static constexpr const char* kDisciplineStates[] = {"warm_up",    "locked", "holdover",
                                                        "recovering", "manual", "learning"};

    // velmor_up: the device is open and the unit has identified itself since
    // it was opened.
    bool IsUp() const { return m_bUp; }
    // velmor_data_fresh: the device is open and the last time report is
    // younger than the stale limit (IsStale), with no stale conclusion of the
    // session since.
    bool IsFresh() const { return m_bFresh; }

private:
    prometheus::Gauge& GaugeOf(prometheus::Family<prometheus::Gauge>& family, prometheus::Gauge*& slot,
                               const prometheus::Labels& labels = {});
    void UpdateInfo(const CReadings& readings);
    void UpdateDisciplineState(const CEnumReading<DisciplineState>& state);
    void UpdateSatellites(const CReadings& readings);
    // Recomputes up and freshness; a change to stale removes the reading gauges.
    void Evaluate(std::uint64_t tick, const CReadings& readings);
    void RemoveReadingGauges();

    std::string m_strDevice;
    std::function<double()> m_wallClock;

    prometheus::Family<prometheus::Gauge>& m_up;
    prometheus::Family<prometheus::Gauge>& m_fresh;
    prometheus::Family<prometheus::Gauge>& m_info;
    prometheus::Family<prometheus::Gauge>& m_ppsOffset;
    prometheus::Family<prometheus::Gauge>& m_frequencyError;
    prometheus::Family<prometheus::Gauge>& m_dac;
    prometheus::Family<prometheus::Gauge>& m_temperature;
    prometheus::Family<prometheus::Gauge>& m_disciplineState;
    prometheus::Family<prometheus::Gauge>& m_tfom;
    prometheus::Family<prometheus::Gauge>& m_satellites;
    prometheus::Family<prometheus::Gauge>& m_lastSentence;
    prometheus::Family<prometheus::Gauge>& m_coastDuration;
    prometheus::Counter& m_sentences;
    prometheus::Counter& m_checksumErrors;
    prometheus::Counter& m_reconnects;
    prometheus::Counter& m_receivedBytes;

    prometheus::Gauge& m_upGauge;
    prometheus::Gauge& m_freshGauge;
    prometheus::Gauge* m_pInfo = nullptr;
    prometheus::Labels m_infoLabels;
    prometheus::Gauge* m_pPpsOffset = nullptr;
    prometheus::Gauge* m_pFrequencyError = nullptr;
    prometheus::Gauge* m_pDac = nullptr;
    prometheus::Gauge* m_pTemperature = nullptr;
    prometheus::Gauge* m_pTfom = nullptr;
    prometheus::Gauge* m_pLastSentence = nullptr;
    prometheus::Gauge* m_pCoastDuration = nullptr;
    prometheus::Gauge* m_apDisciplineState[6] = {};
    prometheus::Gauge* m_pSatellitesTracked = nullptr;
    prometheus::Gauge* m_pSatellitesUsed = nullptr;

    bool m_bEverOpened = false;
    bool m_bDeviceOpen = false;
    bool m_bIdentifiedSinceOpen = false;
    bool m_bUp = false;
    bool m_bFresh = false;
    bool m_bStaleByEvent = false;
};

}  // namespace velmor
