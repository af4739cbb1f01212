#pragma once
// How well the line to the unit is doing: counters kept from start (or from
// the last reset), the age of the last time report, and the silence that
// makes the page's data stale and starts the automatic recovery. It watches
// the observation seam like any other consumer; the program tells it the
// few things the seam does not carry (polling restarted, the device lost).
// It also decides whether a unit that answered again after a silence had
// restarted (CRestartEvidence): the silence and the answer reach it on the
// seam, and the program asks about each sentence before its observers hear
// of it, so that a restart is told before the report that showed it.

#include <cstdint>
#include <string>

#include "health/RestartEvidence.h"
#include "observe/Observation.h"
#include "readings/Rules.h"

namespace velmor {

// What the link pane shows, worst first. Paused: a setup command holds
// polling stopped while its dialog is open, so silence is expected.
enum class LinkState { Disconnected, Stale, NoPort, Waiting, Late, Fresh, Paused };

struct CLinkPane {
    LinkState m_state = LinkState::NoPort;
    std::string m_strText;
};

struct CLinkCounters {
    std::uint64_t m_qwBytesReceived = 0;
    std::uint64_t m_qwBytesSent = 0;
    std::uint64_t m_qwSentences = 0;       // bodies whose keyword is in the table
    std::uint64_t m_qwChecksumErrors = 0;
    std::uint64_t m_qwUnrecognised = 0;    // non-empty bodies with an unknown keyword
    std::uint64_t m_qwWriteFailures = 0;   // failed writes and commands dropped while the device is gone
    std::uint64_t m_qwReconnects = 0;      // the lost device opened again
    std::uint64_t m_qwRecoveries = 0;      // polling restarted after silence
};

// What one silence tick asks the program to do.
struct CSilenceVerdict {
    bool m_bBecameStale = false;
    bool m_bRecover = false;
};

class CLinkHealth : public IUnitObserver {
public:
    static constexpr std::uint64_t kLateMs = 2000;
    static constexpr std::uint64_t kStaleMs = ::velmor::kStaleMs;
    static constexpr std::uint64_t kRecoveryRepeatMs = 30000;

    void OnObservation(const CObservation& observation) override;

    const CLinkCounters& Counters() const { return m_counters; }
    // Zeroes the counters; the time-report age and the stale state stay.
    void ResetCounters() { m_counters = {}; }
    bool HasTimeReport() const { return m_bHaveTimeReport; }
    // Milliseconds since the last time report (0 before the first).
    std::uint64_t TimeReportAge(std::uint64_t now) const;

    // Polling was started by anything but the recovery: silence counts anew.
    void RestartSilence(std::uint64_t now);
    std::uint64_t Silence(std::uint64_t now) const { return now > m_qwSilenceSince ? now - m_qwSilenceSince : 0; }
    // One poll tick while silence counts (identified, port open, polling).
    CSilenceVerdict OnSilenceTick(std::uint64_t now, bool autoRecover);
    bool IsStale() const { return m_bStale; }
    // True once after a time report ended stale data.
    bool TakeResumed();

    void SetDisconnected(const std::string& device);
    void ClearDisconnected() { m_bDisconnected = false; }
    bool IsDisconnected() const { return m_bDisconnected; }

    // |pollingPaused|: a setup dialog holds polling stopped; the pane says so
    // unless the device is gone.
    CLinkPane Pane(std::uint64_t now, bool portOpen, bool pollingPaused = false) const;

    // A handled sentence with the Reported bits it carried, before the
    // observers hear of it: whether it shows that the unit restarted.
    CRestartEvidence::Sign CheckRestart(const CReadings& readings) { return m_restart.OnReport(readings); }

private:
    CLinkCounters m_counters;
    bool m_bHaveTimeReport = false;
    std::uint64_t m_qwLastTimeReport = 0;
    std::uint64_t m_qwSilenceSince = 0;
    int m_nRecoveriesThisSilence = 0;
    bool m_bStale = false;
    std::uint64_t m_qwNoDataSince = 0;  // where the stale text counts from
    bool m_bResumed = false;
    bool m_bDisconnected = false;
    std::string m_strDevice;
    CRestartEvidence m_restart;
};

// The pane's states by name ("fresh", "late", "stale", "disconnected" ...).
const char* LinkStateName(LinkState state);

// The page is drawn dimmed in these states: nothing on it is known to be
// the unit's live data (no port, no time report yet, stale, device gone).
bool IsPageDimmedIn(LinkState state);

}  // namespace velmor
