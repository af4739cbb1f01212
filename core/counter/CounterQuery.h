#pragma once
// Reading the counter's recorded samples back, for the desktop's plots and
// statistics: which counters were recorded beside a unit, and one series'
// phase over a time range, each sample with its host time and whether it
// starts a segment (a slip, a gap or a restart of the counter: nothing
// bridges it). A read-only connection of its own.

#include <cstdint>
#include <string>
#include <vector>

namespace velmor {

struct CCounterPhasePoint {
    std::int64_t m_llHostMs = 0;
    double m_dPhaseSeconds = 0;
    bool m_bSegmentStart = false;
};

struct CCounterPhaseRead {
    std::string m_strCounter;  // the counter's device text; empty when none was recorded
    std::vector<CCounterPhasePoint> m_points;
    std::string m_strError;    // why the file could not be read
    bool m_bFromRollups = false;  // the points are the minute or hour roll-ups' means
};

// The series |channel| ("A", "B", "A-B") of the counter recorded beside the
// unit whose device text is |unitDevice|, over host time [from, to), oldest
// first. With several counters, |counter| names one; empty takes the first
// by name. A file without counter samples is no error: nothing is read.
// With |bucketMs| > 0 each point is the mean of a bucket of that width (at
// its first sample's time; a segment start anywhere in it marks it), for
// plots of long spans. Buckets of whole minutes are read from the roll-ups
// (each point at its bucket's start, a multiple of |bucketMs|), which remain
// after the samples are pruned.
CCounterPhaseRead ReadCounterPhase(const std::string& path, const std::string& unitDevice,
                                   const std::string& channel, std::int64_t fromMs, std::int64_t toMs,
                                   const std::string& counter = {}, std::int64_t bucketMs = 0);

// Splits points into the segments the statistics run over (their phases).
std::vector<std::vector<double>> CounterSegments(const std::vector<CCounterPhasePoint>& points);

}  // namespace velmor
