#include "counter/CounterTracker.h"

#include <algorithm>
#include <cstdlib>

namespace velmor {

namespace {

constexpr std::int64_t kPs = CCounterTime::kPsPerSecond;

CCounterTime TickTime(std::uint64_t tick)
{
    return {static_cast<std::int64_t>(tick / 1000), static_cast<std::int64_t>(tick % 1000) * 1000000000};
}

// When a line was taken: a timestamp's own value, a reading's arrival.
CCounterTime WhenOf(const CCounterLine& line, std::uint64_t tick)
{
    return line.m_bTimestamp ? line.m_value : TickTime(tick);
}

std::int64_t Median(std::deque<std::int64_t> values)
{
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

}  // namespace

void CCounterTracker::Add(const CCounterLine& line, std::uint64_t tick, std::vector<CCounterSample>& out)
{
    CCounterSample sample;
    sample.m_strText = line.m_strText;
    sample.m_qwTick = tick;
    if (line.m_channel == 0) {
        // Already an interval between the two inputs.
        std::optional<std::int64_t> ps = CCounterTime::DiffPs(line.m_value, {});
        if (!ps) return;
        m_bPaired = true;
        AddToSeries("A-B", *ps, TickTime(tick), false, std::move(sample), out);
        return;
    }
    std::string name(1, line.m_channel);
    if (m_strFirstChannel.empty()) m_strFirstChannel = name;
    std::optional<std::int64_t> phase =
        line.m_bTimestamp ? std::optional<std::int64_t>(line.m_value.m_ps) : CCounterTime::DiffPs(line.m_value, {});
    if (phase) AddToSeries(name, *phase, WhenOf(line, tick), line.m_bTimestamp, std::move(sample), out);
    if (line.m_channel == 'A' || line.m_channel == 'B') Pair(line, tick, out);
}

void CCounterTracker::Pair(const CCounterLine& line, std::uint64_t tick, std::vector<CCounterSample>& out)
{
    bool isA = line.m_channel == 'A';
    std::optional<Pending>& mine = isA ? m_pendingA : m_pendingB;
    std::optional<Pending>& other = isA ? m_pendingB : m_pendingA;
    // Unpaired samples only count once both channels have spoken: a
    // counter wired on one channel pairs nothing and loses nothing.
    bool bothSeen = m_series.count("A") && m_series.count("B");
    if (other) {
        bool near = false;
        if (line.m_bTimestamp && other->m_line.m_bTimestamp) {
            std::optional<std::int64_t> d = CCounterTime::DiffPs(line.m_value, other->m_line.m_value);
            near = d && std::llabs(*d) <= kPairWindowPs;
        } else {
            std::uint64_t a = std::max(tick, other->m_qwTick), b = std::min(tick, other->m_qwTick);
            near = a - b <= static_cast<std::uint64_t>(kPairWindowPs / 1000000000);
        }
        if (near) {
            const CCounterLine& a = isA ? line : other->m_line;
            const CCounterLine& b = isA ? other->m_line : line;
            std::optional<std::int64_t> d = CCounterTime::DiffPs(a.m_value, b.m_value);
            CCounterTime when = isA ? WhenOf(line, tick) : WhenOf(other->m_line, other->m_qwTick);
            CCounterSample sample;
            sample.m_strText = a.m_strText;
            sample.m_strTextB = b.m_strText;
            sample.m_qwTick = tick;
            other.reset();  // |a| or |b| is gone from here on
            if (mine) {
                mine.reset();
                if (bothSeen) ++m_nUnpaired;
            }
            if (!d) return;
            m_bPaired = true;
            AddToSeries("A-B", *d, when, false, std::move(sample), out);
            return;
        }
        // Too far apart: the waiting one will never find its partner.
        other.reset();
        if (bothSeen) ++m_nUnpaired;
    }
    if (mine && bothSeen) ++m_nUnpaired;
    mine = Pending{line, tick};
}

void CCounterTracker::AddToSeries(const std::string& name, std::int64_t phasePs, const CCounterTime& when,
                                  bool unwrap, CCounterSample sample, std::vector<CCounterSample>& out)
{
    Series& s = m_series[name];
    sample.m_strChannel = name;
    if (!s.m_bAny) {
        s.m_bAny = true;
        sample.m_phasePs = phasePs;
        sample.m_bSegmentStart = true;
    } else {
        if (unwrap) {
            // A fraction moves by less than a second; the cycles stay far
            // inside 64 bits for any run a counter could make.
            std::int64_t step = phasePs + s.m_cyclesPs - s.m_lastPhasePs;
            if (step > kPs / 2) s.m_cyclesPs -= kPs;
            if (step < -kPs / 2) s.m_cyclesPs += kPs;
            phasePs += s.m_cyclesPs;
        }
        sample.m_phasePs = phasePs;
        // Readings may lie anywhere in 64 bits of picoseconds: a step too
        // large to hold is a slip too.
        std::int64_t step = 0;
        const bool huge = __builtin_sub_overflow(phasePs, s.m_lastPhasePs, &step);
        if (huge || step > m_stepLimitPs || step < -m_stepLimitPs) {
            sample.m_bSlip = true;
            sample.m_bSegmentStart = true;
            ++s.m_nSlips;
        }
        std::optional<std::int64_t> interval = CCounterTime::DiffPs(when, s.m_lastWhen);
        if (!interval || *interval <= 0) {
            // The counter started its time scale again.
            sample.m_bSegmentStart = true;
        } else {
            std::int64_t usual = s.m_intervalsPs.empty() ? kPs : Median(s.m_intervalsPs);
            // More than half an interval late (both positive: no overflow).
            if (*interval - usual > usual / 2) sample.m_bSegmentStart = true;
            s.m_intervalsPs.push_back(*interval);
            if (s.m_intervalsPs.size() > kIntervalHistory) s.m_intervalsPs.pop_front();
        }
    }
    s.m_lastPhasePs = sample.m_phasePs;
    s.m_lastWhen = when;
    s.m_last = sample;
    out.push_back(std::move(sample));
}

std::uint64_t CCounterTracker::SlipsOf(const std::string& channel) const
{
    auto it = m_series.find(channel);
    return it == m_series.end() ? 0 : it->second.m_nSlips;
}

std::string CCounterTracker::Primary() const { return m_bPaired ? std::string("A-B") : m_strFirstChannel; }

const CCounterSample* CCounterTracker::LastPrimary() const
{
    auto it = m_series.find(Primary());
    return it == m_series.end() || !it->second.m_bAny ? nullptr : &it->second.m_last;
}

std::optional<double> CCounterTracker::IntervalSeconds() const
{
    auto it = m_series.find(Primary());
    if (it == m_series.end() || it->second.m_intervalsPs.empty()) return std::nullopt;
    return static_cast<double>(Median(it->second.m_intervalsPs)) * 1e-12;
}

}  // namespace velmor
