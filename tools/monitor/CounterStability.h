#pragma once
// Live stability of a reference counter's phase, on its unit's timeline: the
// same ADEV, TDEV, MTIE and mask margins the unit's own report gives
// (StabilityMetrics.h), labelled source="counter" with the unit's device and
// counter="DEVICE", and while the unit is in holdover the time error the
// counter measured, beside the unit's predicted one.
//
// - Seconds: the unit's time reports make the seconds, exactly as for the
//   unit's own figures (CUnitSecondClock: settled after a minute of lock).
//   A counter sample joins the report nearest to it within
//   CCounterJoin::kJoinWindowMs by the host's tick, the rule its history
//   rows follow; of several samples joining one second the nearest counts.
//   So a second is final once a window has passed after it for the last
//   sample that could join it and another for that sample's own join:
//   the figures trail the unit's by about a second.
// - Segments: a second without a sample, an unsettled one, or one that does
//   not follow the one before ends a segment, as for the unit; so does a
//   sample that starts a segment of the counter's own (a slip, a gap in its
//   lines) or comes from another series (the first A-B pair after a lone A).
// - Measured holdover error: the counter's phase at the latest holdover
//   second minus its phase at the last settled second of lock that had a
//   sample. It exists on holdover seconds with a sample, and only while
//   nothing since that reference makes the two phases incomparable: a slip,
//   a change of series, or (for a single channel's unwrapped fraction of a
//   second) any new segment of the counter.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <prometheus/registry.h>

#include "StabilityMetrics.h"
#include "counter/CounterHistory.h"
#include "counter/CounterSession.h"
#include "observe/Observation.h"
#include "stability/LiveStability.h"

namespace velmor {

class CCounterStability : public IUnitObserver, public ICounterObserver {
public:
    struct CMeasured {
        std::int64_t m_llReferenceSecond = 0;  // the last settled second of lock with a sample
        std::int64_t m_llSecond = 0;           // the holdover second measured
        double m_dValue = 0.0;                 // seconds
    };

    CCounterStability(prometheus::Registry& registry, const std::string& unitDevice, const std::string& counterDevice,
                      std::int64_t hourSeconds = 3600, std::int64_t daySeconds = 86400);

    // The unit's session: each time report is a second waiting for its sample.
    void OnObservation(const CObservation& observation) override;
    // The counter's session: the samples of the series its phase is
    // reported from.
    void OnCounterSample(const CCounterSession& session, const CCounterSample& sample) override;
    // The poll tick: joins what waited long enough and feeds the seconds
    // no sample can join any more.
    void OnTick(std::uint64_t now);

    const CLiveStability& Live() const { return m_live; }
    std::optional<CMeasured> Measured() const { return m_measured; }
    // Seconds fed, and those of them a sample joined.
    std::uint64_t Seconds() const { return m_nSeconds; }
    std::uint64_t JoinedSeconds() const { return m_nJoined; }

private:
    struct CPending {
        CUnitSecond m_second;
        std::optional<CCounterSample> m_sample;
        std::uint64_t m_qwDistance = 0;  // of the sample from the time report, ms
    };
    struct CReference {
        std::int64_t m_llSecond = 0;
        std::int64_t m_phasePs = 0;
        std::string m_strChannel;
    };
    void Feed(const CPending& pending);

    CUnitSecondClock m_clock;
    CCounterJoin m_join;
    // Seconds waiting for their sample; the join's row key is each one's
    // sequence number (m_llFirstKey for the front).
    std::deque<CPending> m_pending;
    std::int64_t m_llFirstKey = 0;
    std::vector<std::pair<CCounterSample, CCounterRow>> m_released;

    CLiveStability m_live;
    CStabilitySeries m_series;
    std::string m_strLastChannel;
    std::optional<CReference> m_reference;
    bool m_bReferenceBroken = false;
    std::optional<CMeasured> m_measured;
    std::uint64_t m_nSeconds = 0;
    std::uint64_t m_nJoined = 0;
};

}  // namespace velmor
