#pragma once
// The rules every consumer shares, one function each: whether the unit is
// locked, where a run of samples breaks, when data is stale, which satellite
// is in use. The GUI, the command-line tools and the metrics call these.

#include <cstdint>
#include <optional>

#include "model/ProductTypes.h"
#include "readings/Readings.h"

namespace velmor {

// The unit is time-locked: discipline state '1'.
bool IsLocked(DisciplineState state);
bool IsLocked(const CReadings& readings);

// A recorded sample counts as locked only once the unit has stayed locked
// this long: the first seconds after lock still carry the warm-up's offset.
constexpr int kDefaultSettleSeconds = 60;

// One sample of a run (a 1PPS sample of the history): the host time it
// arrived; whether a link-lost or unit-restarted marker came since the
// sample before; and the unit's second it belongs to, when the unit's time
// says so exactly (without it only the host time can judge).
struct CRunSample {
    std::int64_t m_llHostMs = 0;
    bool m_bAfterMarker = false;
    std::optional<std::int64_t> m_llUnitSecond;  // the unit's own seconds count
};
// The sample |next| does not continue the run of |previous|: a marker came
// between; or, where both carry the unit's second, they are not consecutive
// seconds; or, only where one of them lacks it, the host clock did not move
// forward by at most 1.5 s.
bool SegmentBreak(const CRunSample& previous, const CRunSample& next);
constexpr std::int64_t kSegmentMaxStepMs = 1500;

// Follows a run of samples and tells which count as settled-locked: locked
// in every sample for at least |settleSeconds| (0: from the first locked
// sample on). A sample that is not locked, a marker, or a gap longer than the
// stale limit restarts the count; a short gap with lock on both sides does not.
class CSettledLock {
public:
    explicit CSettledLock(int settleSeconds = kDefaultSettleSeconds) : m_nSettleSeconds(settleSeconds) {}
    // |atMs|: the sample's time on one steady scale (its unit second times
    // 1000 where known, else its host time).
    bool Step(bool locked, std::int64_t atMs, bool afterMarker);

private:
    int m_nSettleSeconds;
    bool m_bLocked = false;
    std::int64_t m_llSinceMs = 0;
    std::int64_t m_llLastMs = 0;
};

// No time report for this long counts as stale data.
constexpr std::uint64_t kStaleMs = 10000;
// |silenceMs| since the last time report means stale data.
bool IsStale(std::uint64_t silenceMs);

// Satellite in use (the status page's "Using") is IsSatelliteInUse in
// model/ProductTypes: it depends on the product type's traits alone.

}  // namespace velmor
