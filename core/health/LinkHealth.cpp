#include "health/LinkHealth.h"

#include "readings/Rules.h"

#include <algorithm>

namespace velmor {

namespace {

// The reports that carry the unit's time of day: TIME, and TM from the
// legacy unit. The type-0 poll's replies (DACV, TIMM) are no time report: a
// restarted unit answers them although it lost its subscriptions.
std::string Seconds(std::uint64_t ms) { return std::to_string(ms / 1000); }

}  // namespace

const char* LinkStateName(LinkState state)
{
    switch (state) {
    case LinkState::Disconnected: return "disconnected";
    case LinkState::Stale: return "stale";
    case LinkState::NoPort: return "no-port";
    case LinkState::Waiting: return "waiting";
    case LinkState::Late: return "late";
    case LinkState::Fresh: return "fresh";
    case LinkState::Paused: return "paused";
    }
    return "?";
}

bool IsPageDimmedIn(LinkState state)
{
    switch (state) {
    case LinkState::Disconnected:
    case LinkState::Stale:
    case LinkState::NoPort:
    case LinkState::Waiting: return true;
    case LinkState::Late:
    case LinkState::Fresh:
    case LinkState::Paused: return false;
    }
    return true;
}

void CLinkHealth::OnObservation(const CObservation& observation)
{
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled:
        ++m_counters.m_qwSentences;
        if (observation.m_readings.JustReported(observation.m_readings.m_timeReport)) {
            m_bHaveTimeReport = true;
            m_qwLastTimeReport = observation.m_qwTick;
            m_qwSilenceSince = std::max(m_qwSilenceSince, observation.m_qwTick);
            m_nRecoveriesThisSilence = 0;
            if (m_bStale) {
                m_bStale = false;
                m_bResumed = true;
            }
        }
        break;
    case LinkEvent::UnrecognisedBody: ++m_counters.m_qwUnrecognised; break;
    case LinkEvent::ChecksumError: ++m_counters.m_qwChecksumErrors; break;
    case LinkEvent::BytesReceived: m_counters.m_qwBytesReceived += observation.m_bytes.size(); break;
    case LinkEvent::BytesSent: m_counters.m_qwBytesSent += observation.m_bytes.size(); break;
    case LinkEvent::WriteFailure: ++m_counters.m_qwWriteFailures; break;
    case LinkEvent::PortRestored: ++m_counters.m_qwReconnects; break;
    case LinkEvent::AutoRecovery: ++m_counters.m_qwRecoveries; break;
    case LinkEvent::DataStale:
    case LinkEvent::PortLost: m_restart.OnInterruption(); break;
    case LinkEvent::UnitReidentified: m_restart.OnReidentified(); break;
    default: break;
    }
}

std::uint64_t CLinkHealth::TimeReportAge(std::uint64_t now) const
{
    if (!m_bHaveTimeReport || now < m_qwLastTimeReport) return 0;
    return now - m_qwLastTimeReport;
}

void CLinkHealth::RestartSilence(std::uint64_t now)
{
    m_qwSilenceSince = std::max(m_qwSilenceSince, now);
    m_nRecoveriesThisSilence = 0;
}

CSilenceVerdict CLinkHealth::OnSilenceTick(std::uint64_t now, bool autoRecover)
{
    CSilenceVerdict verdict;
    const std::uint64_t silence = Silence(now);
    if (!::velmor::IsStale(silence)) return verdict;
    if (!m_bStale) {
        m_bStale = true;
        m_qwNoDataSince = m_qwSilenceSince;
        verdict.m_bBecameStale = true;
    }
    // At 10 s, then every 30 s while the silence goes on: 10, 40, 70 ...
    const std::uint64_t due = kStaleMs + kRecoveryRepeatMs * static_cast<std::uint64_t>(m_nRecoveriesThisSilence);
    if (autoRecover && silence >= due) {
        ++m_nRecoveriesThisSilence;
        verdict.m_bRecover = true;
    }
    return verdict;
}

bool CLinkHealth::TakeResumed()
{
    const bool resumed = m_bResumed;
    m_bResumed = false;
    return resumed;
}

void CLinkHealth::SetDisconnected(const std::string& device)
{
    m_bDisconnected = true;
    m_strDevice = device;
}

CLinkPane CLinkHealth::Pane(std::uint64_t now, bool portOpen, bool pollingPaused) const
{
    if (m_bDisconnected)
        return {LinkState::Disconnected, "Unit disconnected (" + m_strDevice + "); reconnecting..."};
    // Nothing is read while paused: the silence is the program's own doing.
    if (pollingPaused && portOpen) return {LinkState::Paused, "Polling paused (setup dialog open)"};
    if (m_bStale) {
        const std::uint64_t since = now > m_qwNoDataSince ? now - m_qwNoDataSince : 0;
        return {LinkState::Stale, "No data from the unit for " + Seconds(since) + " s"};
    }
    if (!portOpen) return {LinkState::NoPort, "No port open"};
    if (!m_bHaveTimeReport) return {LinkState::Waiting, "Waiting for the unit"};
    const std::uint64_t age = TimeReportAge(now);
    if (age < kLateMs) return {LinkState::Fresh, "Unit data fresh"};
    return {LinkState::Late, "Unit data late (" + Seconds(age) + " s)"};
}

}  // namespace velmor
