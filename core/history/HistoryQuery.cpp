#include "history/HistoryQuery.h"

#include "readings/Decode.h"
#include "readings/Rules.h"

#include <algorithm>

#include "history/HistorySchema.h"

namespace velmor {

namespace {

// Minute roll-ups serve spans up to this many times the points asked for;
// longer spans read hour roll-ups.
constexpr std::int64_t kMinuteRollupReach = 16;
// Host times outside years 1..9999 mean "no limit"; clamping keeps the
// bucket arithmetic far from overflow.
constexpr std::int64_t kEarliestMs = -62135596800000;
constexpr std::int64_t kLatestMs = 253402300800000;

struct CAggregate {
    std::int64_t m_llStartMs;
    std::int64_t m_llCount;
    double m_dMin;
    double m_dMax;
    double m_dSum;
};

std::int64_t FloorTo(std::int64_t ms, std::int64_t width)
{
    std::int64_t start = ms - ms % width;
    if (ms % width < 0) start -= width;
    return start;
}

// Merges aggregates (oldest first) into buckets |widthMs| wide, aligned on
// multiples of the width, so the same range always gives the same points.
std::vector<CSeriesPoint> Merge(const std::vector<CAggregate>& in, std::int64_t widthMs)
{
    std::vector<CSeriesPoint> out;
    double sum = 0;
    for (const CAggregate& a : in) {
        const std::int64_t start = widthMs > 0 ? FloorTo(a.m_llStartMs, widthMs) : a.m_llStartMs;
        if (out.empty() || out.back().m_llHostMs != start) {
            if (!out.empty()) out.back().m_dMean = sum / static_cast<double>(out.back().m_llCount);
            out.push_back(CSeriesPoint{start, 0, a.m_dMin, a.m_dMax, 0});
            sum = 0;
        }
        CSeriesPoint& p = out.back();
        p.m_dMin = std::min(p.m_dMin, a.m_dMin);
        p.m_dMax = std::max(p.m_dMax, a.m_dMax);
        p.m_llCount += a.m_llCount;
        sum += a.m_dSum;
    }
    if (!out.empty() && out.back().m_llCount > 0) out.back().m_dMean = sum / static_cast<double>(out.back().m_llCount);
    return out;
}

}  // namespace

bool CHistoryQuery::Open(const std::string& path, std::string& error)
{
    m_strPath = path;
    int rc = m_db.Open(path, SQLITE_OPEN_READONLY);
    if (rc != SQLITE_OK) {
        error = "cannot open the history database " + path + ": " + sqlite3_errstr(rc) +
                " (the program creates it when it first records a unit)";
        m_db.Close();
        return false;
    }
    sqlite3_busy_timeout(m_db.Handle(), 2000);
    CSqliteStatement check;
    rc = check.Prepare(m_db, "SELECT count(*) FROM units");
    if (rc == SQLITE_OK) rc = check.Step();
    if (rc != SQLITE_ROW) {
        const int primary = rc & 0xff;
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT || primary == SQLITE_ERROR)
            error = path + " is damaged or is not a history database (" + m_db.ErrorText() + ")";
        else
            error = "cannot read " + path + ": " + m_db.ErrorText();
        check.Finalize();
        m_db.Close();
        return false;
    }
    check.Finalize();
    CSqliteStatement version;
    if (version.Prepare(m_db, "PRAGMA user_version") == SQLITE_OK && version.Step() == SQLITE_ROW)
        m_llVersion = version.Int(0);
    return true;
}

const char* CHistoryQuery::SelectColumns() const
{
    return m_llVersion >= 2 ? kReadingsSelectColumns : kReadingsSelectColumnsV1;
}

const char* CHistoryQuery::SeqColumn() const { return m_llVersion >= 2 ? "seq" : "rowid"; }

std::string CHistoryQuery::InArrivalOrder() const
{
    // The host range's first and last place in arrival order come from the
    // (unit, host time, seq) index alone; the rows then come in seq order
    // without a sort. A host clock that stepped may put rows of the range
    // outside those bounds' host times: the host condition still applies.
    if (m_llVersion < 2) return " ORDER BY rowid";
    return " AND seq BETWEEN (SELECT min(seq) FROM readings WHERE unit_id = ?1 AND host_ms >= ?2 AND host_ms < ?3)"
           " AND (SELECT max(seq) FROM readings WHERE unit_id = ?1 AND host_ms >= ?2 AND host_ms < ?3)"
           " ORDER BY seq";
}

std::vector<CHistoryUnit> CHistoryQuery::ListUnits(bool countRows)
{
    std::vector<CHistoryUnit> units;
    CSqliteStatement s;
    if (s.Prepare(m_db,
                  std::string("SELECT u.id, u.part_number, u.device, u.firmware, u.product_type,"
                              " (SELECT min(host_ms) FROM readings WHERE unit_id = u.id),"
                              " (SELECT max(host_ms) FROM readings WHERE unit_id = u.id), ") +
                      (countRows ? "(SELECT count(*) FROM readings WHERE unit_id = u.id)" : "0") +
                      " FROM units u ORDER BY u.id") != SQLITE_OK) {
        m_strError = m_db.ErrorText();
        return units;
    }
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) {
        CHistoryUnit u;
        u.m_llId = s.Int(0);
        u.m_strPartNumber = s.Text(1);
        u.m_strDevice = s.Text(2);
        u.m_strFirmware = s.Text(3);
        if (!s.IsNull(4)) u.m_nProductType = static_cast<int>(s.Int(4));
        u.m_llFirstMs = s.OptionalInt(5);
        u.m_llLastMs = s.OptionalInt(6);
        u.m_llRowCount = s.Int(7);
        units.push_back(std::move(u));
    }
    if (rc != SQLITE_DONE) m_strError = m_db.ErrorText();
    return units;
}

bool CHistoryQuery::ReadExtent(std::int64_t unitId, std::int64_t& firstMs, std::int64_t& lastMs)
{
    CSqliteStatement s;
    if (s.Prepare(m_db, "SELECT (SELECT min(host_ms) FROM readings WHERE unit_id = ?1),"
                        " (SELECT max(host_ms) FROM readings WHERE unit_id = ?1)") != SQLITE_OK) {
        m_strError = m_db.ErrorText();
        return false;
    }
    s.Bind(1, unitId);
    if (s.Step() != SQLITE_ROW || s.IsNull(0) || s.IsNull(1)) return false;
    firstMs = s.Int(0);
    lastMs = s.Int(1);
    return true;
}

bool CHistoryQuery::ForEachRow(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs,
                               const std::function<bool(const CHistoryRow&)>& visit)
{
    CSqliteStatement s;
    const std::string sql = std::string("SELECT ") + SelectColumns() +
                            " FROM readings WHERE unit_id = ?1 AND host_ms >= ?2 AND host_ms < ?3" +
                            InArrivalOrder();
    if (s.Prepare(m_db, sql) != SQLITE_OK) {
        m_strError = m_db.ErrorText();
        return false;
    }
    s.Bind(1, unitId);
    s.Bind(2, fromMs);
    s.Bind(3, toMs);
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW)
        if (!visit(ReadRow(s, 0))) return true;
    if (rc != SQLITE_DONE) {
        m_strError = m_db.ErrorText();
        return false;
    }
    return true;
}

std::vector<CHistoryRow> CHistoryQuery::ReadRows(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs)
{
    std::vector<CHistoryRow> rows;
    ForEachRow(unitId, fromMs, toMs, [&](const CHistoryRow& row) {
        rows.push_back(row);
        return true;
    });
    return rows;
}

CHistorySeries CHistoryQuery::ReadSeries(std::int64_t unitId, HistoryQuantity quantity, std::int64_t fromMs,
                                         std::int64_t toMs, int maxPoints)
{
    CHistorySeries series;
    fromMs = std::clamp(fromMs, kEarliestMs, kLatestMs);
    toMs = std::clamp(toMs, kEarliestMs, kLatestMs);
    if (toMs <= fromMs || quantity == HistoryQuantity::Count) return series;
    const std::int64_t points = std::max(maxPoints, 1);
    const std::int64_t spanS = (toMs - fromMs + 999) / 1000;
    std::vector<CAggregate> in;

    if (spanS <= points) {
        CSqliteStatement s;
        const std::string column = HistoryQuantityColumn(quantity);
        const std::string sql = "SELECT host_ms, " + column + ", " + (m_llVersion >= 2 ? "unit_second" : "NULL") +
                                ", pps_count, marker FROM readings WHERE unit_id = ?1 AND host_ms >= ?2"
                                " AND host_ms < ?3" + InArrivalOrder();
        if (s.Prepare(m_db, sql) != SQLITE_OK) {
            m_strError = m_db.ErrorText();
            return series;
        }
        s.Bind(1, unitId);
        s.Bind(2, fromMs);
        s.Bind(3, toMs);
        // Whether each row continues the one before it that has a value: the
        // last second the earlier row covers against the first of the next.
        std::vector<bool> breaks;
        CRunSample last;
        bool marked = false;
        while (s.Step() == SQLITE_ROW) {
            if (s.Int(4) != 0) marked = true;
            if (s.IsNull(1)) continue;
            const double v = s.Double(1);
            CRunSample first{s.Int(0), marked, s.OptionalInt(2)};
            breaks.push_back(!in.empty() && SegmentBreak(last, first));
            marked = false;
            in.push_back(CAggregate{s.Int(0), 1, v, v, v});
            last = first;
            const std::int64_t seconds = s.Int(3);
            if (last.m_llUnitSecond && seconds > 1) *last.m_llUnitSecond += seconds - 1;
        }
        if (!in.empty()) {
            // More rows than seconds only if the unit reported faster than once a second.
            const std::int64_t width =
                static_cast<std::int64_t>(in.size()) > points ? (toMs - fromMs + points - 1) / points : 0;
            series.m_nBucketSeconds = static_cast<int>(width / 1000);
            series.m_points = Merge(in, width);
            if (width == 0 && series.m_points.size() == breaks.size())
                for (std::size_t i = 0; i < breaks.size(); ++i) series.m_points[i].m_bBreakBefore = breaks[i];
            return series;
        }
        // Raw rows may have been pruned where the roll-ups remain.
    }

    const int period = spanS / 60 <= points * kMinuteRollupReach ? 60 : 3600;
    const std::int64_t buckets = (spanS + period - 1) / period;
    const std::int64_t widthS = ((buckets + points - 1) / points) * period;
    CSqliteStatement s;
    if (s.Prepare(m_db,
                  "SELECT start_ms, n, v_min, v_max, v_sum FROM rollups WHERE unit_id = ?1 AND period_s = ?2"
                  " AND quantity = ?3 AND start_ms >= ?4 AND start_ms < ?5 ORDER BY start_ms") != SQLITE_OK) {
        m_strError = m_db.ErrorText();
        return series;
    }
    s.Bind(1, unitId);
    s.Bind(2, std::int64_t{period});
    s.Bind(3, std::int64_t{static_cast<int>(quantity)});
    s.Bind(4, FloorTo(fromMs, std::int64_t{period} * 1000));
    s.Bind(5, toMs);
    while (s.Step() == SQLITE_ROW) {
        const std::int64_t n = s.Int(1);
        if (n <= 0) continue;
        in.push_back(CAggregate{s.Int(0), n, s.Double(2), s.Double(3), s.Double(4)});
    }
    series.m_bFromRollups = true;
    series.m_nBucketSeconds = static_cast<int>(widthS);
    series.m_points = Merge(in, widthS * 1000);
    return series;
}

std::vector<CPhaseSample> CHistoryQuery::ReadPhase(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs,
                                                 int settleSeconds)
{
    std::vector<CPhaseSample> phase;
    CSqliteStatement s;
    const std::string sql = std::string("SELECT host_ms, pps_offset_ns, discipline_state, marker, pps_count,"
                                        " pps_samples, ") +
                            (m_llVersion >= 2 ? "unit_second" : "NULL") +
                            " FROM readings WHERE unit_id = ?1 AND host_ms >= ?2 AND host_ms < ?3" +
                            InArrivalOrder();
    if (s.Prepare(m_db, sql) != SQLITE_OK) {
        m_strError = m_db.ErrorText();
        return phase;
    }
    s.Bind(1, unitId);
    s.Bind(2, fromMs);
    s.Bind(3, toMs);
    CSettledLock settled(settleSeconds < 0 ? 0 : settleSeconds);
    CRunSample previous;
    CHistoryRow row;
    while (s.Step() == SQLITE_ROW) {
        const std::int64_t hostMs = s.Int(0);
        const bool marked = s.Int(3) != 0;
        const std::int64_t state = s.IsNull(2) ? -1 : s.Int(2);
        const bool locked =
            state >= 0 && state <= 9 && IsLocked(DecodeDisciplineState(static_cast<char>('0' + state)));
        const std::optional<std::int64_t> unitSecond = s.OptionalInt(6);
        if (s.IsNull(1)) {
            // A row without a sample still tells the unit's state, and its
            // marker breaks the next segment.
            settled.Step(locked, unitSecond ? *unitSecond * 1000 : hostMs, marked);
            if (marked) previous.m_bAfterMarker = true;
            continue;
        }
        // A row's samples take consecutive seconds from its unit second; a
        // row without one can only place its last sample, at its host time.
        row.m_nPpsCount = static_cast<int>(std::clamp<std::int64_t>(s.Int(4), 0, 1000000));
        row.m_dPpsOffsetNs = s.Double(1);
        int first = 0;
        int count = 1;
        if (unitSecond && !s.IsNull(5) && row.m_nPpsCount > 1) {
            ParsePpsSamples(s.Text(5), row);
            count = row.PpsSamplesKept();
        } else {
            row.m_adPpsSamples[0] = *row.m_dPpsOffsetNs;
        }
        for (int i = first; i < count; ++i) {
            CPhaseSample p;
            p.m_llHostMs = hostMs + (unitSecond ? i * 1000 : 0);
            if (unitSecond) p.m_llUnitSecond = *unitSecond + i;
            p.m_dPhaseSeconds = row.m_adPpsSamples[static_cast<std::size_t>(i)] * 1e-9;
            const bool afterMarker = i == 0 && (marked || previous.m_bAfterMarker);
            const CRunSample here{p.m_llHostMs, afterMarker, p.m_llUnitSecond};
            p.m_bSegmentStart = phase.empty() || SegmentBreak(previous, here);
            p.m_bLocked = settled.Step(locked, p.m_llUnitSecond ? *p.m_llUnitSecond * 1000 : p.m_llHostMs,
                                       afterMarker);
            previous = CRunSample{here.m_llHostMs, false, here.m_llUnitSecond};
            phase.push_back(p);
        }
    }
    return phase;
}

HistoryPeriodKind HistoryPeriodKindOf(HistoryMarker marker)
{
    switch (marker) {
    case HistoryMarker::UnitRestarted: return HistoryPeriodKind::UnitRestarted;
    case HistoryMarker::PollingPaused: return HistoryPeriodKind::PollingPaused;
    case HistoryMarker::RecorderRestart: return HistoryPeriodKind::RecorderRestart;
    case HistoryMarker::LinkLost:
    case HistoryMarker::None: break;
    }
    return HistoryPeriodKind::LinkLost;
}

std::vector<CHistoryPeriod> CHistoryQuery::ReadPeriods(std::int64_t unitId, std::int64_t fromMs, std::int64_t toMs)
{
    std::vector<CHistoryPeriod> periods;
    CSqliteStatement s;
    // The window functions run in arrival order;
    // the outer filter keeps state changes, marked rows and the last row.
    if (s.Prepare(m_db,
                  std::string("SELECT host_ms, discipline_state, marker, prev_ms FROM ("
                  " SELECT host_ms, discipline_state, marker,"
                  "  LAG(host_ms) OVER w AS prev_ms, LAG(discipline_state) OVER w AS prev_state,"
                  "  LEAD(host_ms) OVER w AS next_ms"
                  " FROM readings WHERE unit_id = ?1 AND host_ms >= ?2 AND host_ms < ?3"
                  " WINDOW w AS (ORDER BY ") + SeqColumn() + "))"
                  " WHERE prev_ms IS NULL OR next_ms IS NULL OR marker != 0"
                  "  OR discipline_state IS NOT prev_state") != SQLITE_OK) {
        m_strError = m_db.ErrorText();
        return periods;
    }
    s.Bind(1, unitId);
    s.Bind(2, fromMs);
    s.Bind(3, toMs);
    // The period under way: its kind and first row (none while locked).
    bool open = false;
    HistoryPeriodKind openKind = HistoryPeriodKind::Coasting;
    std::int64_t openFrom = 0;
    std::int64_t lastMs = 0;
    const auto close = [&](std::int64_t atMs) {
        if (open && atMs > openFrom) periods.push_back(CHistoryPeriod{openKind, openFrom, atMs});
        open = false;
    };
    while (s.Step() == SQLITE_ROW) {
        const std::int64_t hostMs = s.Int(0);
        lastMs = hostMs;
        const HistoryMarker marker = HistoryMarkerFromNumber(s.Int(2));
        if (marker != HistoryMarker::None && !s.IsNull(3)) {
            close(s.Int(3));
            periods.push_back(CHistoryPeriod{HistoryPeriodKindOf(marker), s.Int(3), hostMs});
        }
        const int state = s.IsNull(1) ? 1 : static_cast<int>(s.Int(1));
        const bool unlocked = state != 1;
        const HistoryPeriodKind kind = state == 2 ? HistoryPeriodKind::Coasting : HistoryPeriodKind::Unlocked;
        if (unlocked != open || (unlocked && kind != openKind)) {
            close(hostMs);
            if (unlocked) {
                open = true;
                openKind = kind;
                openFrom = hostMs;
            }
        }
    }
    close(lastMs);
    return periods;
}

}  // namespace velmor
