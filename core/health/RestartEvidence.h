#pragma once
// Whether a unit that identified itself again after a silence or a lost
// link had restarted meanwhile. Identifying itself again proves nothing: a
// unit that was frozen, or a cable pulled and put back, gives the same
// answer. A restart is concluded only on evidence in the first reports
// after the re-identification: the unit reports Warm-Up where it was in
// another state before the silence, or its time lies before the last time
// it reported (in the same time mode). Pure bookkeeping over the unit
// state; the program tells it when the silence began and when the unit
// answered again.

#include <cstdint>
#include <optional>
#include <string>

#include "readings/Readings.h"

namespace velmor {

// What the last reports said, as far as a restart can show in them.
struct CUnitClock {
    std::optional<char> m_chDiscipline;
    std::optional<char> m_chTimeMode;
    std::optional<std::int64_t> m_llSeconds;  // the unit's time, comparable within one time mode
};

class CRestartEvidence {
public:
    // The line went silent or the device was lost: what was reported last
    // is what a restarted unit would differ from.
    void OnInterruption();
    // The unit identified itself again: its next reports are looked at.
    void OnReidentified();
    // What showed a restart.
    enum class Sign : std::uint8_t { None, WarmUp, TimeBack };
    // The readings after a handled sentence. Not None once, for the report
    // that shows the unit restarted.
    Sign OnReport(const CReadings& readings);

    bool IsWatching() const { return m_bInterrupted; }

private:
    void Remember(const CReadings& readings);

    CUnitClock m_last;    // from the latest reports
    CUnitClock m_before;  // m_last when the interruption began
    bool m_bInterrupted = false;
    bool m_bReidentified = false;
    bool m_bDisciplineSeen = false;  // the first discipline state after re-identification was looked at
};

// The unit's time as seconds from a fixed origin, comparable between two
// reports of the same time mode; none when the text is no time.
std::optional<std::int64_t> UnitClockSeconds(int year, const std::string& dayTime);

}  // namespace velmor
