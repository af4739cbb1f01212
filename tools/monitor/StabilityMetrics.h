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
// own 1PPS report. A reference counter's phase gives the same series with
// source="counter" (CounterStability.h), and its measured time error sits
// beside the prediction as velmor_holdover_measured_time_error_seconds.
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

// The unit's seconds as its time reports tell them: each report closes one
// second, carrying the 1PPS phase reported since the one before and the
// unit's state then. The lock counts as settled after kSettleSeconds of the
// unit's own seconds; a lost port or a restarted unit must settle again.
struct CUnitSecond {
    std::int64_t m_llSecond = 0;
    std::uint64_t m_qwTick = 0;            // the host's tick of the time report
    std::optional<double> m_pps;           // seconds
    bool m_bLocked = false;
    bool m_bSettled = false;
    bool m_bHoldover = false;
    bool m_bClockBack = false;             // before the second seen last
    double m_dFrequency = 0.0;             // the unit's estimate, NaN when none
    double m_dDac = 0.0;                   // NaN when none
};

class CUnitSecondClock {
public:
    static constexpr std::int64_t kSettleSeconds = 60;
    // The second a time report closes; none for any other observation.
    std::optional<CUnitSecond> OnObservation(const CObservation& observation);

private:
    std::optional<double> m_ppsPending;  // the 1PPS phase reported since the last time report
    std::optional<std::int64_t> m_lockedSince;
    std::optional<std::int64_t> m_lastSecond;
};

// The stability series of one source: ADEV, TDEV and MTIE per window and
// tau, the mask margins, and one holdover figure (the prediction for the
// unit, the measured time error for a counter). Each series carries
// |labels| (device, source, and a counter's counter="...") and comes and
// goes with its figure.
class CStabilitySeries {
public:
    CStabilitySeries(prometheus::Registry& registry, const prometheus::Labels& labels, bool measuredHoldover);
    void Publish(const CLiveStability& live, std::optional<double> holdover);

private:
    // One exported series whose value may come and go.
    struct CSeries {
        prometheus::Family<prometheus::Gauge>* m_pFamily = nullptr;
        prometheus::Labels m_labels;
        prometheus::Gauge* m_pGauge = nullptr;
        void Show(double value);
    };
    static CSeries MakeSeries(prometheus::Family<prometheus::Gauge>& family, prometheus::Labels labels);

    // [window][tau] for the three statistics, [mask][statistic][window] for the margins.
    std::vector<CSeries> m_deviations;  // ADEV, TDEV, MTIE interleaved per window and tau
    std::vector<CSeries> m_margins;
    CSeries m_holdover;
};

struct CStabilityMetricsOptions {
    std::string m_strSource = "unit";
    // Fractional frequency per DAC step: with it the holdover prediction's
    // aging comes from the DAC's trend in lock; 0 leaves the unit's frequency
    // estimate alone.
    double m_dDacGain = 0.0;
};

class CStabilityMetrics : public IUnitObserver {
public:
    static constexpr std::int64_t kSettleSeconds = CUnitSecondClock::kSettleSeconds;

    CStabilityMetrics(prometheus::Registry& registry, std::string device, CStabilityMetricsOptions options = {});

    void OnObservation(const CObservation& observation) override;

    const CLiveStability& Live() const { return m_live; }
    const CHoldoverPredictor& Predictor() const { return m_predictor; }

private:
    void OnUnitSecond(const CUnitSecond& second);

    std::string m_strDevice;
    CStabilityMetricsOptions m_options;
    CUnitSecondClock m_clock;
    CLiveStability m_live;
    CHoldoverPredictor m_predictor;
    CStabilitySeries m_series;
};

}  // namespace velmor
