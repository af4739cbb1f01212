#pragma once
// Read-only access to the history database for the plots window and the
// command-line tool. It opens its own connection, so reading never waits for
// the recorder (the database is in WAL mode) and the recorder never waits
// for a reader.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRow.h"
#include "history/Sqlite.h"
#include "readings/Rules.h"

namespace velmor {

struct CHistoryUnit {
    std::int64_t m_llId = 0;
    std::string m_strPartNumber;
    std::string m_strDevice;
    std::string m_strFirmware;
    std::optional<int> m_nProductType;
    std::optional<std::int64_t> m_llFirstMs;  // host UTC of the first and last row
    std::optional<std::int64_t> m_llLastMs;
    std::int64_t m_llRowCount = 0;
};

struct CSeriesPoint {
    std::int64_t m_llHostMs = 0;  // the start of the bucket (raw: the row's time)
    double m_dMean = 0;
    double m_dMin = 0;
    double m_dMax = 0;
    std::int64_t m_llCount = 0;
    // Raw rows only: the row does not continue the one before (SegmentBreak
    // between the two rows' seconds, or a marker): the plot breaks its line.
    bool m_bBreakBefore = false;
};

struct CHistorySeries {
    int m_nBucketSeconds = 0;  // 0: raw rows; else the width each point covers
    bool m_bFromRollups = false;
    std::vector<CSeriesPoint> m_points;
};

struct CPhaseSample {
    std::int64_t m_llHostMs = 0;
    std::optional<std::int64_t> m_llUnitSecond;  // the unit's second of the sample, when known
    double m_dPhaseSeconds = 0;  // the 1PPS time difference, in seconds
    bool m_bLocked = false;      // settled-locked: locked for the settling time up to this sample
    bool m_bSegmentStart = false;  // not continuous with the sample before
};

// A stretch of time the plots shade: the unit coasting (holdover) or
// warming up, or a gap that ended with a marked row (link lost, unit
// restarted, polling paused, recorder restarted).
enum class HistoryPeriodKind : std::uint8_t { Coasting, Unlocked, LinkLost, UnitRestarted, PollingPaused, RecorderRestart };
inline constexpr int kHistoryPeriodKindCount = 6;

// The kind of the gap that ends with a row of |marker| (which is not None).
HistoryPeriodKind HistoryPeriodKindOf(HistoryMarker marker);

struct CHistoryPeriod {
    HistoryPeriodKind m_kind = HistoryPeriodKind::Coasting;
    std::int64_t m_llFromMs = 0;
    std::int64_t m_llToMs = 0;
};

class CHistoryQuery {
public:
    // Opens read-only. False with a sentence in |error| when the file is
    // missing, damaged or not a history database.
    bool Open(const std::string& path, std::string& error);

    // |countRows| false leaves m_llRowCount at 0: counting a month of rows
    // takes a while, the first and last row come from the index at once.
    std::vector<CHistoryUnit> ListUnits(bool countRows = true);
    // The host time of the unit's first and last row; false when it has none.
    bool ReadExtent(std::int64_t unitId, std::int64_t& firstMs, std::int64_t& lastMs);

    // Rows of a unit with from <= host time < to, in arrival order, handed one
    // by one (an export of a month does not sit in memory). The callback
    // returns false to stop. False when the read failed.
    bool ForEachRow(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs,
                    const std::function<bool(const CHistoryRow&)>& visit);
    std::vector<CHistoryRow> ReadRows(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs);

    // At most about |maxPoints| points of one quantity over [from, to): raw
    // rows when they fit, else minute or hour roll-ups merged into equal
    // buckets, each with its mean and min/max envelope.
    CHistorySeries ReadSeries(std::int64_t unitId, HistoryQuantity quantity, std::int64_t fromMs,
                              std::int64_t toMs, int maxPoints = 3000);

    // The 1PPS phase over [from, to), every sample of every row in arrival
    // order, each on its unit second (rows recorded before the unit's second
    // was stored give their last sample at their host time). A segment
    // starts at the first sample and wherever SegmentBreak says
    // (readings/Rules). A sample is locked once the unit has been locked
    // without a break for |settleSeconds| (CSettledLock; 0: every locked
    // sample).
    std::vector<CPhaseSample> ReadPhase(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs,
                                        int settleSeconds = kDefaultSettleSeconds);

    // The coasting and unlocked periods over [from, to) from the discipline
    // state column (a period runs from its first row to the first row in
    // another state), and each interruption from the row before a marked row
    // to the marked row. Only the rows where something changes leave SQLite.
    std::vector<CHistoryPeriod> ReadPeriods(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs);

    std::string LastError() const { return m_strError; }

private:
    // The readings columns as this file has them, and its arrival order.
    const char* SelectColumns() const;
    const char* SeqColumn() const;
    // The end of a "WHERE unit_id = ?1 AND host_ms >= ?2 AND host_ms < ?3"
    // that hands the rows in arrival order.
    std::string InArrivalOrder() const;

    std::string m_strPath;
    std::string m_strError;
    CSqliteDb m_db;
    std::int64_t m_llVersion = 0;
};

}  // namespace velmor
