#pragma once
// One recorded row of the unit's readings, as the recorder hands it to the
// store and as the query reads it back. Every value is optional: a quantity
// the unit has not reported (or reported in a form that does not parse) is
// recorded as unknown, never as the unit state's placeholder.

#include <array>
#include <cstdint>
#include <optional>

#include "protocol/FixedText.h"

namespace velmor {

// Why the row is the first after an interruption; the rows before and after
// it do not form one continuous measurement.
enum class HistoryMarker : std::uint8_t {
    None = 0,
    LinkLost = 1,         // the serial link was lost (or closed) before this row
    UnitRestarted = 2,    // the unit restarted before this row
    PollingPaused = 3,    // a setup dialog held polling stopped before this row
    RecorderRestart = 4,  // the first row of this recording (the program was not running before it)
};
inline constexpr int kHistoryMarkerCount = 5;

const char* HistoryMarkerName(HistoryMarker marker);  // "" for None
// The marker a stored number stands for; None for a number no marker has.
HistoryMarker HistoryMarkerFromNumber(std::int64_t number);
// Which of two interruptions before one row says more: a restart of the
// unit over the recorder's, over a lost link, over a pause.
bool HistoryMarkerOutranks(HistoryMarker marker, HistoryMarker other);

// The 1PPS samples one row keeps beyond its last value; a unit sends one per
// second, so more than this between two rows means a flood, and the count
// still tells how many there were.
constexpr int kMaxPpsSamplesPerRow = 16;

struct CHistoryRow {
    std::int64_t m_llHostMs = 0;  // host UTC, milliseconds since 1970

    // The unit's time as it sent it, with its time-scale code.
    std::optional<int> m_nUnitYear;
    std::optional<int> m_nUnitMonth;
    std::optional<int> m_nUnitDay;
    CFixedText<24> m_szUnitTimeOfDay;  // DDD:HH:MM:SS; empty when unknown
    std::optional<char> m_chTimeMode;
    // The unit's time on the UTC scale, when that is exact.
    std::optional<std::int64_t> m_llUnitUtcMs;
    // The unit's second (its own time scale, seconds since 1970) of the
    // row's first 1PPS sample; the samples after it take the seconds that
    // follow. Without a sample, the second of the row's time report. Unknown
    // when the unit's time was not reported or does not parse.
    std::optional<std::int64_t> m_llUnitSecond;

    // The 1PPS time differences of the row's seconds, in order;
    // m_dPpsOffsetNs is the last of them (unknown when the row has none).
    std::optional<double> m_dPpsOffsetNs;
    int m_nPpsCount = 0;  // how many (may exceed the samples kept)
    std::array<double, kMaxPpsSamplesPerRow> m_adPpsSamples{};
    std::optional<double> m_dPpsRawNs;  // the raw time difference, for units that report it

    std::optional<double> m_dFrequencyError;
    std::optional<double> m_dFrequencyStdError;
    std::optional<double> m_dDac;
    std::optional<double> m_dTemperatureC;
    std::optional<int> m_nDisciplineState;  // '0' warm-up, '1' locked, '2' coasting, ...
    std::optional<int> m_nTfom;
    std::optional<char> m_chPositionMode;
    std::optional<int> m_nSatellitesTracked;
    std::optional<int> m_nSatellitesUsed;
    std::optional<double> m_dMeanStrength;
    std::optional<int> m_nCoastDurationS;

    HistoryMarker m_marker = HistoryMarker::None;

    // Read back only: the row's place in arrival order, and whether the
    // recording stopped cleanly after it.
    std::int64_t m_llSeq = 0;
    bool m_bCleanStop = false;

    int PpsSamplesKept() const { return m_nPpsCount < kMaxPpsSamplesPerRow ? m_nPpsCount : kMaxPpsSamplesPerRow; }
    // A reading besides the unit's time: a row without one is never written.
    bool HasReading() const;
    // Copies every reading |newer| holds (not its time, samples or marker).
    void TakeReadings(const CHistoryRow& newer);
    bool IsLocked() const { return m_nDisciplineState && *m_nDisciplineState == 1; }
};

// The numeric quantities the plots and the roll-ups know.
enum class HistoryQuantity : std::uint8_t {
    PpsOffset = 0,
    FrequencyError,
    FrequencyStdError,
    Dac,
    Temperature,
    SatellitesTracked,
    SatellitesUsed,
    MeanStrength,
    Tfom,
    CoastDuration,
    Count
};

constexpr int kHistoryQuantityCount = static_cast<int>(HistoryQuantity::Count);

// The column of the readings table that holds the quantity, and its short name.
const char* HistoryQuantityColumn(HistoryQuantity quantity);

// The row's value of the quantity (the last 1PPS sample for PpsOffset).
std::optional<double> HistoryQuantityValue(const CHistoryRow& row, HistoryQuantity quantity);

}  // namespace velmor
