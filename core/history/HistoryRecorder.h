#pragma once
// Turns the unit's observations into history rows, one row per time report
// (or, for a unit that sends none, one per second of host time while it
// reports anything at all). A row holds the latest value of each quantity
// the unit has reported since the link came up, and the 1PPS samples of
// its seconds; a quantity not reported yet, or reported as text that is not
// a number, is unknown. A row with no reading at all is never written.
//
// Pairing: a reading belongs to the second its arrival is nearest to,
// counted from the last time report: one that arrives in the first half of
// the second after a report belongs to the report's second, one in the
// second half to the next (a second as long as the reports are apart, for
// a simulated unit that runs fast; never longer than the host's). So a unit may send its time report before or
// after the readings of the same second. When the unit reports its time
// every other second, a row spans two seconds and its samples take T and
// T+1. A row is closed by the next time report, or 1.5 s after its own.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "history/HistoryRow.h"
#include "observe/Observation.h"

namespace velmor {

class CHistoryStore;

class CHistoryRecorder : public IUnitObserver {
public:
    // Host UTC in milliseconds since 1970.
    using Clock = std::function<std::int64_t()>;

    // |device| names the port the unit is on (part of the unit's identity in
    // the database); |clock| defaults to the system clock.
    CHistoryRecorder(CHistoryStore& store, std::string device, Clock clock = {});
    // Writes the row under way, but is no clean stop: only Stop says that
    // the recording ended as planned.
    ~CHistoryRecorder() override;
    CHistoryRecorder(const CHistoryRecorder&) = delete;
    CHistoryRecorder& operator=(const CHistoryRecorder&) = delete;

    void OnObservation(const CObservation& observation) override;
    // The program's poll tick, in the same millisecond tick as CObservation::m_qwTick.
    void OnTick(std::uint64_t qwTick);

    // Writes the row under way and marks the recording as stopped cleanly,
    // so that the next recording of the unit does not start with a
    // recorder_restart marker. Later observations are ignored. Idempotent.
    void Stop();

    // The next row is marked as the first after an interruption, and what was
    // known about the unit is forgotten until it reports again. The
    // PortClosed, PortLost, UnitRestarted and PollingPaused link events do
    // the same; while polling is paused, the port a setup dialog closes and
    // opens again is part of the pause, not a lost link. The first row a
    // recorder writes is marked RecorderRestart (the store keeps the mark
    // only when the recording before did not stop cleanly). When several
    // interruptions come before one row, the one that says most stays
    // (HistoryMarkerOutranks).
    void MarkLinkLost();
    void MarkUnitRestarted();
    void MarkPollingPaused();
    // The port changed (the program reopened the link on another device).
    void SetDevice(std::string device);

private:
    // Where a reading that arrives at |qwTick| belongs: the open row's
    // second |index| (from its report), or a later second.
    struct CPlace {
        bool m_bReference = false;                 // a recent time report to count from
        std::int64_t m_llOffset = 0;               // whole seconds after that report
        std::optional<std::int64_t> m_llSecond;    // the unit's second, when its report parsed
    };
    CPlace PlaceOf(std::uint64_t qwTick) const;
    bool BelongsToOpenRow(const CPlace& place) const;

    void Finish(bool clean);
    void OnTimeReport(const CObservation& observation);
    void Absorb(const CObservation& observation, CHistoryRow& row);
    void AddSample(CHistoryRow& row, std::optional<std::int64_t> second, double value, bool& surplus);
    void AddSampleAhead(const CPlace& place, double value, std::uint64_t qwTick);
    void CloseOpenRow();
    void FlushAhead(bool withHostTimeNow);
    void Emit(CHistoryRow& row);
    void ForgetUnitValues(HistoryMarker marker);
    void Mark(HistoryMarker marker);

    CHistoryStore& m_store;
    std::string m_strDevice;
    Clock m_clock;
    bool m_bStopped = false;
    bool m_bWroteRow = false;

    // The latest values, which a new row starts from.
    CHistoryRow m_carry;
    std::optional<int> m_nLeapSeconds;
    HistoryMarker m_marker = HistoryMarker::RecorderRestart;

    // The row of the last time report, until it closes.
    bool m_bOpen = false;
    CHistoryRow m_open;
    // The last time report: when it came, the unit's second it named, and
    // how many seconds the unit's reports are apart (1, or 2 when it
    // reports every even second).
    bool m_bReportSeen = false;
    std::uint64_t m_qwReportTick = 0;
    std::optional<std::int64_t> m_llReportSecond;
    int m_nSpan = 1;
    int m_nLastApart = 0;
    std::uint64_t m_qwSecondMs = 1000;  // the unit's second on the host's tick

    // Readings for a second after the open row's (or before any report):
    // they start the next row.
    CHistoryRow m_ahead;
    bool m_bAheadUsed = false;
    std::uint64_t m_qwAheadTick = 0;
    std::uint64_t m_qwAheadPpsTick = 0;  // when a sample without a second to place it came
    std::int64_t m_llAheadHostMs = 0;

    // The unit identity the store was last told about.
    std::string m_strPartNumber;
    std::string m_strFirmware;
    int m_nProductType = -1;
    bool m_bUnitChanged = true;

    std::uint64_t m_qwLastTickRow = 0;
    bool m_bTickRowWritten = false;
    bool m_bPollingPaused = false;
};

}  // namespace velmor
