#pragma once
// Turns the unit's observations into history rows. A row is written each
// time the unit's time report arrives; a unit that sends no time report gets
// one row per second of host time (from the program's tick) while it reports
// anything at all. A row holds the latest value of each quantity the unit has
// reported since the link came up, and every 1PPS sample since the row
// before; a quantity not reported yet, or reported as text that is not a
// number, is unknown.

#include <cstdint>
#include <functional>
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

    void OnObservation(const CObservation& observation) override;
    // The program's poll tick, in the same millisecond tick as CObservation::m_qwTick.
    void OnTick(std::uint64_t qwTick);

    // The next row is marked as the first after an interruption, and what was
    // known about the unit is forgotten until it reports again. The
    // PortClosed, PortLost, UnitRestarted and PollingPaused link events do
    // the same; while polling is paused, the port a setup dialog closes and
    // opens again is part of the pause, not a lost link. The first row a
    // recorder writes is marked RecorderRestart. When several interruptions
    // come before one row, the one that says most stays
    // (HistoryMarkerOutranks).
    void MarkLinkLost();
    void MarkUnitRestarted();
    void MarkPollingPaused();
    // The port changed (the program reopened the link on another device).
    void SetDevice(std::string device);

private:
    void Absorb(const CObservation& observation);
    void EmitRow(bool withUnitTime);
    void ForgetUnitValues(HistoryMarker marker);
    void Mark(HistoryMarker marker);

    CHistoryStore& m_store;
    std::string m_strDevice;
    Clock m_clock;

    // The row being gathered: latest values plus the 1PPS samples since the last row.
    CHistoryRow m_next;
    std::optional<int> m_nLeapSeconds;

    // The unit identity the store was last told about.
    std::string m_strPartNumber;
    std::string m_strFirmware;
    int m_nProductType = -1;
    bool m_bUnitChanged = true;

    bool m_bReportedSinceRow = false;
    bool m_bTimeReportSeen = false;
    std::uint64_t m_qwLastTimeReportTick = 0;
    std::uint64_t m_qwLastTickRow = 0;
    bool m_bTickRowWritten = false;
    bool m_bPollingPaused = false;
};

}  // namespace velmor
