#include "counter/CounterQuery.h"

#include "counter/CounterHistory.h"
#include "history/Sqlite.h"

namespace velmor {

CCounterPhaseRead ReadCounterPhase(const std::string& path, const std::string& unitDevice,
                                   const std::string& channel, std::int64_t fromMs, std::int64_t toMs,
                                   const std::string& counter, std::int64_t bucketMs)
{
    CCounterPhaseRead read;
    CSqliteDb db;
    if (db.Open(path, SQLITE_OPEN_READONLY) != SQLITE_OK) {
        read.m_strError = "cannot open " + path + ": " + db.ErrorText();
        return read;
    }
    sqlite3_busy_timeout(db.Handle(), 2000);
    CSqliteStatement table;
    if (table.Prepare(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'counter_samples'") !=
            SQLITE_OK ||
        table.Step() != SQLITE_ROW)
        return read;
    read.m_strCounter = counter;
    if (read.m_strCounter.empty()) {
        // A counter whose samples are pruned is still there in its roll-ups
        // (a file from before them has none).
        CSqliteStatement first;
        if (first.Prepare(db, "SELECT MIN(c) FROM (SELECT MIN(counter_device) AS c FROM counter_samples"
                              " WHERE unit_device = ?1 UNION ALL SELECT MIN(counter_device) FROM counter_rollups"
                              " WHERE unit_device = ?1)") != SQLITE_OK &&
            first.Prepare(db, "SELECT MIN(counter_device) FROM counter_samples WHERE unit_device = ?1") != SQLITE_OK) {
            read.m_strError = "reading the database failed: " + db.ErrorText();
            return read;
        }
        first.Bind(1, std::string_view(unitDevice));
        if (first.Step() != SQLITE_ROW || first.IsNull(0)) return read;
        read.m_strCounter = first.Text(0);
    }
    // Buckets of whole minutes come from the roll-ups, which outlive the
    // samples; a file written before the roll-ups existed falls back to them.
    if (bucketMs > 0 && bucketMs % (std::int64_t{kCounterRollupMinuteS} * 1000) == 0) {
        const int period = bucketMs % (std::int64_t{kCounterRollupHourS} * 1000) == 0 ? kCounterRollupHourS
                                                                                      : kCounterRollupMinuteS;
        const std::int64_t periodMs = std::int64_t{period} * 1000;
        std::int64_t first = fromMs - fromMs % periodMs;
        if (fromMs % periodMs < 0) first -= periodMs;
        CSqliteStatement rollups;
        if (rollups.Prepare(db, "SELECT (start_ms / ?6) * ?6, SUM(v_sum) / SUM(n), MAX(segment_starts > 0)"
                                " FROM counter_rollups WHERE unit_device = ?1 AND counter_device = ?2"
                                " AND channel = ?3 AND period_s = ?7 AND start_ms >= ?4 AND start_ms < ?5"
                                " AND n > 0 GROUP BY start_ms / ?6 ORDER BY 1") == SQLITE_OK) {
            rollups.Bind(1, std::string_view(unitDevice));
            rollups.Bind(2, std::string_view(read.m_strCounter));
            rollups.Bind(3, std::string_view(channel));
            rollups.Bind(4, first);
            rollups.Bind(5, toMs);
            rollups.Bind(6, bucketMs);
            rollups.Bind(7, std::int64_t{period});
            while (rollups.Step() == SQLITE_ROW)
                read.m_points.push_back({rollups.Int(0), rollups.Double(1) * 1e-12, rollups.Int(2) != 0});
            if (!read.m_points.empty()) {
                read.m_bFromRollups = true;
                return read;
            }
        }
    }
    CSqliteStatement rows;
    const std::string where = " FROM counter_samples WHERE unit_device = ?1 AND counter_device = ?2 AND channel = ?3"
                              " AND host_ms >= ?4 AND host_ms < ?5";
    const std::string sql = bucketMs > 0 ? "SELECT MIN(host_ms), AVG(phase_ps), MAX(segment_start)" + where +
                                               " GROUP BY (host_ms - ?4) / ?6 ORDER BY 1"
                                         : "SELECT host_ms, phase_ps, segment_start" + where + " ORDER BY host_ms, id";
    if (rows.Prepare(db, sql) != SQLITE_OK) {
        read.m_strError = "reading the database failed: " + db.ErrorText();
        return read;
    }
    rows.Bind(1, std::string_view(unitDevice));
    rows.Bind(2, std::string_view(read.m_strCounter));
    rows.Bind(3, std::string_view(channel));
    rows.Bind(4, fromMs);
    rows.Bind(5, toMs);
    if (bucketMs > 0) rows.Bind(6, bucketMs);
    while (rows.Step() == SQLITE_ROW)
        read.m_points.push_back({rows.Int(0), rows.Double(1) * 1e-12, rows.Int(2) != 0});
    return read;
}

std::vector<std::vector<double>> CounterSegments(const std::vector<CCounterPhasePoint>& points)
{
    std::vector<std::vector<double>> segments;
    for (const CCounterPhasePoint& point : points) {
        if (segments.empty() || point.m_bSegmentStart) segments.emplace_back();
        segments.back().push_back(point.m_dPhaseSeconds);
    }
    return segments;
}

}  // namespace velmor
