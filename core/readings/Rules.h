#pragma once
// The rules every consumer shares, one function each: whether the unit is
// locked, where a run of samples breaks, when data is stale, which satellite
// is in use. The GUI, the command-line tools and the metrics call these.

#include <cstdint>

#include "model/ProductTypes.h"
#include "readings/Readings.h"

namespace velmor {

// The unit is time-locked: discipline state '1'.
bool IsLocked(DisciplineState state);
bool IsLocked(const CReadings& readings);

// One sample of a run (a history row with a 1PPS sample): its host time, and
// whether a link-lost or unit-restarted marker came since the sample before.
struct CRunSample {
    std::int64_t m_llHostMs = 0;
    bool m_bAfterMarker = false;
};
// The sample |next| does not continue the run of |previous|: a marker came
// between, or more than 1.5 s of host time passed.
bool SegmentBreak(const CRunSample& previous, const CRunSample& next);
constexpr std::int64_t kSegmentMaxStepMs = 1500;

// No time report for this long counts as stale data.
constexpr std::uint64_t kStaleMs = 10000;
// |silenceMs| since the last time report means stale data.
bool IsStale(std::uint64_t silenceMs);

// Satellite in use (the status page's "Using") is IsSatelliteInUse in
// model/ProductTypes: it depends on the product type's traits alone.

}  // namespace velmor
