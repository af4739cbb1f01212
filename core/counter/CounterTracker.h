#pragma once
// From counter lines to phase samples, with no I/O: chA - chB pairing, the
// single channel's fraction of a second unwrapped, slips, gaps and the
// measured reporting interval.
//
// - Pairs: each A pairs with the B within kPairWindowPs of it, in either
//   arrival order (timestamps compare their own values, readings the
//   host's ticks of arrival). A sample left without a partner is dropped
//   and counted.
// - Series: every channel is a series of its own ("A", "B", "C", "D"; a
//   timestamp's phase is its fraction of a second, unwrapped; a reading's
//   is its value), the pairs are the series "A-B", and a reading without a
//   channel tag, already an interval, is "A-B" too.
// - Slips: a step larger than the limit between consecutive samples of a
//   series is a slip: counted, and the sample starts a new segment (nothing
//   ever bridges it). A gap (more than 1.5 intervals) starts one too.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "counter/CounterParser.h"

namespace velmor {

struct CCounterSample {
    std::string m_strChannel;  // "A".."D" or "A-B"
    std::int64_t m_phasePs = 0;
    double PhaseSeconds() const { return static_cast<double>(m_phasePs) * 1e-12; }
    // The number as received; for a pair, chA's (then chB's in m_strTextB).
    std::string m_strText;
    std::string m_strTextB;
    // The first sample of its series, or the first after a slip or a gap.
    bool m_bSegmentStart = false;
    bool m_bSlip = false;
    // The host's tick when the line (for a pair, its second line) arrived.
    std::uint64_t m_qwTick = 0;
};

class CCounterTracker {
public:
    explicit CCounterTracker(std::int64_t stepLimitPs = kDefaultStepLimitPs) : m_stepLimitPs(stepLimitPs) {}

    // One parsed line that arrived at |tick| (host milliseconds). Appends
    // the samples it makes: its own series' and, when it completes a pair,
    // the pair's.
    void Add(const CCounterLine& line, std::uint64_t tick, std::vector<CCounterSample>& out);

    // Samples left without a partner.
    std::uint64_t Unpaired() const { return m_nUnpaired; }
    // Slips in the series the phase is reported from (Primary()).
    std::uint64_t Slips() const { return SlipsOf(Primary()); }
    std::uint64_t SlipsOf(const std::string& channel) const;
    // "A-B" once a pair formed (or a plain interval came); before that the
    // first channel seen. Empty before any sample.
    std::string Primary() const;
    // The last sample of the primary series.
    const CCounterSample* LastPrimary() const;
    // The reporting interval, the median of the primary series' last
    // intervals, in seconds; none before two samples.
    std::optional<double> IntervalSeconds() const;

    static constexpr std::int64_t kDefaultStepLimitPs = 1000000;  // 1 us
    static constexpr std::int64_t kPairWindowPs = 500000000000;    // 0.5 s
    static constexpr std::size_t kIntervalHistory = 15;

private:
    struct Series {
        bool m_bAny = false;
        std::int64_t m_lastPhasePs = 0;
        std::int64_t m_cyclesPs = 0;  // whole seconds added by the unwrapping
        // When the last sample was taken: its timestamp, or its tick.
        CCounterTime m_lastWhen;
        std::uint64_t m_nSlips = 0;
        std::deque<std::int64_t> m_intervalsPs;
        CCounterSample m_last;
    };
    struct Pending {
        CCounterLine m_line;
        std::uint64_t m_qwTick = 0;
    };
    void AddToSeries(const std::string& name, std::int64_t phasePs, const CCounterTime& when, bool unwrap,
                     CCounterSample sample, std::vector<CCounterSample>& out);
    void Pair(const CCounterLine& line, std::uint64_t tick, std::vector<CCounterSample>& out);

    std::int64_t m_stepLimitPs;
    std::map<std::string, Series> m_series;
    std::optional<Pending> m_pendingA, m_pendingB;
    std::uint64_t m_nUnpaired = 0;
    std::string m_strFirstChannel;
    bool m_bPaired = false;
};

}  // namespace velmor
