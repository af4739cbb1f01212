#pragma once
// The time error a unit in holdover has probably built up, predicted from
// what was known when the lock was lost:
//
//   TE(t) = x0 + y0 t + a t^2 / 2
//
// with t the unit seconds since the last settled second of lock, x0 the 1PPS
// phase then, y0 the unit's frequency offset then (its own estimate of the
// steered oscillator's error), and a the aging: the slope of a least-squares
// line through the oscillator's free-running frequency over the last day of
// settled lock. In lock the loop takes the aging out of the output, so it
// shows in what the loop does, not in the output. The caller gives the
// free-running frequency: where the DAC's gain (fractional frequency per
// step) is known, minus the DAC's steering, DAC value times gain (the steered
// error is the loop's small residual and adds nothing to the trend); without
// it the unit's frequency estimate, which shows the aging only where the unit
// reports its oscillator's own error.
//
// Samples of the fit are kept at most one per ten unit seconds, so a day is
// 8640 of them; the fit runs once, when the holdover starts.

#include <cstdint>
#include <deque>
#include <limits>
#include <optional>

namespace velmor {

class CHoldoverPredictor {
public:
    static constexpr std::int64_t kFitSeconds = 86400;
    static constexpr std::int64_t kFitSpacing = 10;
    // Less lock than this gives no aging (taken as 0).
    static constexpr std::int64_t kFitMinimumSpan = 300;

    // One unit second of settled lock: its 1PPS phase (seconds, NaN if none),
    // the unit's frequency estimate (NaN if none yet) and the free-running
    // frequency for the fit (NaN if unknown).
    void OnLocked(std::int64_t unitSecond, double phase, double frequency, double freeRunning);
    // One unit second in holdover: the first starts the prediction, from the
    // unit's frequency estimate as it stands then (NaN: the last one of the
    // lock), which may have come after the last locked second's report.
    void OnHoldover(std::int64_t unitSecond, double frequency = std::numeric_limits<double>::quiet_NaN());
    // Any other second (warming up, recovering, not yet settled): no
    // prediction. The lock's history stays for the next holdover.
    void OnOther();
    // The clock went back: forget everything.
    void Reset();

    bool InHoldover() const { return m_bHoldover; }
    // The predicted time error in seconds at the latest holdover second.
    std::optional<double> Predicted() const;
    // The aging the current holdover predicts with, per second.
    double AgingPerSecond() const { return m_dAging; }
    double EntryFrequency() const { return m_dEntryFrequency; }

    // The slope of the least-squares line through the kept samples since
    // |from| (per second); 0 with fewer than two samples or a span shorter
    // than kFitMinimumSpan.
    double FitSlope(std::int64_t from) const;

private:
    struct CSample {
        std::int64_t m_llSecond = 0;
        double m_dFrequency = 0.0;
    };
    std::deque<CSample> m_fit;
    bool m_bLockSeen = false;
    std::int64_t m_llLastLocked = 0;
    double m_dLastPhase = 0.0;
    double m_dLastFrequency = 0.0;

    bool m_bHoldover = false;
    std::int64_t m_llEntry = 0;
    std::int64_t m_llNow = 0;
    double m_dEntryPhase = 0.0;
    double m_dEntryFrequency = 0.0;
    double m_dAging = 0.0;
};

}  // namespace velmor
