#pragma once
// Live stability of the unit's 1PPS as Prometheus metrics: ADEV, TDEV and
// MTIE over the last hour and day, the margins against the wander masks, and
// while in holdover the predicted time error. An observer of the session:
// each time report is one unit second, carrying the 1PPS phase reported
// since the one before; a second counts as settled once the unit has been
// locked for kSettleSeconds of its own seconds. The statistics run on the
// unit's clock, not the host's, so a simulator at --speed gives the same
// figures as a real day.
//
// Every series carries device and source labels; source="unit" is the unit's
// own 1PPS report. A reference counter would feed a second instance with
// source="counter", and its measured time error would sit beside the
// prediction as velmor_holdover_measured_time_error_seconds.
//
// A gauge appears once its figure exists and goes when it no longer does (a
// window that holds no term, a holdover that ended).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include "observe/Observation.h"
#include "stability/HoldoverPredictor.h"
#include "stability/LiveStability.h"

namespace velmor {

// The unit's time of day "DDD:HH:MM:SS" in |year| as seconds since 1970
// (days counted as the calendar does, so consecutive seconds differ by one
// across minutes, days and years). A leap second (:60) reads as the next
// minute's first second, which then repeats. None for text that is no time.
std::optional<std::int64_t> UnitSecondsCount(int year, const std::string& dayTime);

struct CStabilityMetricsOptions {
    std::string m_strSource = "unit";
    // Fractional frequency per DAC step: with it the holdover prediction's
    // aging comes from the DAC's trend in lock; 0 leaves the unit's frequency
    // estimate alone.
    double m_dDacGain = 0.0;
};

class CStabilityMetrics : public IUnitObserver {
public:
    static constexpr std::int64_t kSettleSeconds = 60;

    CStabilityMetrics(prometheus::Registry& registry, std::string device, CStabilityMetricsOptions options = {});

    void OnObservation(const CObservation& observation) override;

    const CLiveStability& Live() const { return m_live; }
    const CHoldoverPredictor& Predictor() const { return m_predictor; }

private:
    // One exported series whose value may come and go.
    struct CSeries {
        prometheus::Family<prometheus::Gauge>* m_pFamily = nullptr;
        prometheus::Labels m_labels;
        prometheus::Gauge* m_pGauge = nullptr;
        void Show(double value);
    };

    void OnUnitSecond(std::int64_t second, const CReadings& readings);
    void Publish();
    CSeries MakeSeries(prometheus::Family<prometheus::Gauge>& family, prometheus::Labels labels) const;

    std::string m_strDevice;
    CStabilityMetricsOptions m_options;
    CLiveStability m_live;
    CHoldoverPredictor m_predictor;

    prometheus::Family<prometheus::Gauge>& m_adev;
    prometheus::Family<prometheus::Gauge>& m_tdev;
    prometheus::Family<prometheus::Gauge>& m_mtie;
    prometheus::Family<prometheus::Gauge>& m_margin;
    prometheus::Family<prometheus::Gauge>& m_predicted;

    // [window][tau] for the three statistics, [mask][statistic][window] for the margins.
    std::vector<CSeries> m_deviations;  // ADEV, TDEV, MTIE interleaved per window and tau
    std::vector<CSeries> m_margins;
    CSeries m_prediction;

    std::optional<double> m_ppsPending;  // the 1PPS phase reported since the last time report
    std::optional<std::int64_t> m_lockedSince;
    std::optional<std::int64_t> m_lastSecond;
};

}  // namespace velmor
