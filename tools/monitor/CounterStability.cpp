#include "CounterStability.h"

#include <limits>

namespace velmor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The pairs of channels are differences of two timestamps: a gap in the
// counter's lines leaves them comparable. A single channel's phase is its
// fraction of a second unwrapped, which a gap may have lost a turn of.
constexpr const char* kPairSeries = "A-B";

}  // namespace

CCounterStability::CCounterStability(prometheus::Registry& registry, const std::string& unitDevice,
                                     const std::string& counterDevice, std::int64_t hourSeconds,
                                     std::int64_t daySeconds)
    : m_live(hourSeconds, daySeconds),
      m_series(registry, {{"device", unitDevice}, {"source", "counter"}, {"counter", counterDevice}}, true)
{
}

void CCounterStability::OnObservation(const CObservation& observation)
{
    const std::optional<CUnitSecond> second = m_clock.OnObservation(observation);
    if (!second) return;
    m_join.AddUnitReport(second->m_qwTick, m_llFirstKey + static_cast<std::int64_t>(m_pending.size()));
    m_pending.push_back({*second, std::nullopt, 0});
}

void CCounterStability::OnCounterSample(const CCounterSession& session, const CCounterSample& sample)
{
    if (sample.m_strChannel != session.Tracker().Primary()) return;
    // The host time is the history's business; the join only needs the tick.
    m_join.AddSample(sample, 0);
}

void CCounterStability::OnTick(std::uint64_t now)
{
    m_released.clear();
    m_join.Release(now, m_released);
    for (const auto& [sample, row] : m_released) {
        if (!row.m_llUnitRowMs) continue;  // no time report within the window
        const std::int64_t at = *row.m_llUnitRowMs - m_llFirstKey;
        if (at < 0 || at >= static_cast<std::int64_t>(m_pending.size())) continue;
        CPending& pending = m_pending[static_cast<std::size_t>(at)];
        const std::uint64_t report = pending.m_second.m_qwTick;
        const std::uint64_t distance = sample.m_qwTick > report ? sample.m_qwTick - report : report - sample.m_qwTick;
        // Samples come oldest first: of two equally near, the earlier stays.
        if (!pending.m_sample || distance < pending.m_qwDistance) {
            pending.m_sample = sample;
            pending.m_qwDistance = distance;
        }
    }
    // A sample up to a window after the report may join it, and is released
    // a window after that.
    while (!m_pending.empty() && now > m_pending.front().m_second.m_qwTick + 2 * CCounterJoin::kJoinWindowMs) {
        Feed(m_pending.front());
        m_pending.pop_front();
        ++m_llFirstKey;
    }
}

void CCounterStability::Feed(const CPending& pending)
{
    const CUnitSecond& second = pending.m_second;
    const std::optional<CCounterSample>& sample = pending.m_sample;
    ++m_nSeconds;
    if (sample) ++m_nJoined;
    if (second.m_bClockBack) {
        m_reference.reset();
        m_strLastChannel.clear();
    }
    const double phase = sample ? sample->PhaseSeconds() : kNaN;
    const bool newSegment = sample && (sample->m_bSegmentStart || sample->m_strChannel != m_strLastChannel);
    if (sample) m_strLastChannel = sample->m_strChannel;
    m_live.Add(second.m_llSecond, phase, second.m_bSettled && sample.has_value(), newSegment);

    if (sample && m_reference &&
        (sample->m_bSlip || sample->m_strChannel != m_reference->m_strChannel ||
         (sample->m_bSegmentStart && sample->m_strChannel != kPairSeries)))
        m_bReferenceBroken = true;
    m_measured.reset();
    if (second.m_bSettled) {
        if (sample) {
            m_reference = CReference{second.m_llSecond, sample->m_phasePs, sample->m_strChannel};
            m_bReferenceBroken = false;
        }
    } else if (second.m_bHoldover && sample && m_reference && !m_bReferenceBroken) {
        // Exact in picoseconds first: a day's unwrapped phase has many digits.
        const double error = static_cast<double>(sample->m_phasePs - m_reference->m_phasePs) * 1e-12;
        m_measured = CMeasured{m_reference->m_llSecond, second.m_llSecond, error};
    }
    m_series.Publish(m_live, m_measured ? std::optional<double>(m_measured->m_dValue) : std::nullopt);
}

}  // namespace velmor
