#pragma once
// A reference counter beside a watched unit: --counter DEVICE[,format=...]
// [,baud=RATE] belongs to the --device before it. Its session runs on the
// unit's clock (the same monotonic ticks), and its samples become metrics
// labelled with the unit's device="..." plus counter="DEVICE".

#include <cstdint>
#include <string>

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <memory>

#include "CounterStability.h"
#include "counter/CounterHistory.h"
#include "counter/CounterSession.h"
#include "observe/Observation.h"
#include "platform/DeviceByPath.h"

namespace velmor {

struct CMonitorCounter {
    std::string m_strDevice;
    CounterFormat m_format = CounterFormat::Auto;
    int m_nBaud = 115200;
};

// Reads DEVICE[,format=timestamp|reading|auto][,baud=RATE].
bool ParseMonitorCounter(const std::string& text, CMonitorCounter& counter, std::string& error);

// velmor_counter_* for one counter. Gauges of the phase appear with the
// first sample; the counters start at zero.
class CCounterMetrics : public ICounterObserver {
public:
    CCounterMetrics(prometheus::Registry& registry, const std::string& unitDevice, const std::string& counterDevice);

    // Samples of the series the phase is reported from (A-B once paired).
    void OnCounterSample(const CCounterSession& session, const CCounterSample& sample) override;
    // The poll tick: up, and the parse errors so far.
    void OnTick(const CCounterSession& session);

private:
    prometheus::Labels m_labels;
    prometheus::Family<prometheus::Gauge>& m_phaseFamily;
    prometheus::Gauge& m_up;
    prometheus::Gauge* m_pPhase = nullptr;
    prometheus::Counter& m_samples;
    prometheus::Counter& m_slips;
    prometheus::Counter& m_parseErrors;
    std::uint64_t m_nParseErrorsSeen = 0;
};

// The counter's device, session, metrics and (with a store) its recorder,
// on its unit's clock.
class CWatchedCounter {
public:
    CWatchedCounter(const CMonitorCounter& spec, ISessionEvents& clock, prometheus::Registry& registry,
                    const std::string& unitDevice, CCounterStore* store);
    void Tick();
    // The unit's recorder wrote a row for a time report that arrived at |tick|.
    void OnUnitRow(std::uint64_t tick, std::int64_t rowHostMs)
    {
        if (m_pRecorder) m_pRecorder->OnUnitRow(tick, rowHostMs);
    }
    // Writes the samples still waiting for their join.
    void Stop()
    {
        if (m_pRecorder) m_pRecorder->FlushAll();
    }
    CCounterSession& Session() { return m_session; }
    // Registered on the unit's session: the counter's stability runs on the
    // unit's seconds.
    IUnitObserver& UnitObserver() { return m_stability; }

private:
    CMonitorCounter m_spec;
    std::string m_strUnitDevice;
    CDeviceByPath m_device;
    CCounterSession m_session;
    CCounterMetrics m_metrics;
    CCounterStability m_stability;
    std::unique_ptr<CCounterRecorder> m_pRecorder;
    bool m_bWasOpen = false;
    bool m_bOpenFailureLogged = false;
    bool m_bIntervalLogged = false;
    bool m_bWasUp = false;
};

}  // namespace velmor
