#include "history/HistoryWriter.h"

#include <filesystem>
#include <system_error>

#include "history/HistorySchema.h"

namespace velmor {

namespace {

// Rows deleted per pruning statement; each runs in its own short transaction.
constexpr int kPruneBatch = 2000;
constexpr std::int64_t kMsPerDay = 86400000;

std::string DescribeFailure(int rc, const std::string& path, const std::string& detail)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
        return "History recording paused: the disk is full (" + path +
               "). Free some space; recording resumes by itself.";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "History recording paused: another program holds the history database locked (" + path +
               "). Recording resumes when it lets go.";
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return "History recording stopped: " + path +
               " is damaged or is not a history database. Move it aside or delete it, then restart "
               "the program to begin a new one.";
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return "History recording stopped: cannot write " + path + " (" + detail +
               "). Check that its folder exists and is writable, then restart the program.";
    case SQLITE_IOERR:
        return "History recording paused: writing " + path + " failed (" + detail + "); retrying.";
    default:
        return "History recording stopped: " + path + ": " + detail + ".";
    }
}

std::int64_t BucketStart(std::int64_t ms, int periodS)
{
    const std::int64_t width = std::int64_t{periodS} * 1000;
    std::int64_t start = ms - ms % width;
    if (ms % width < 0) start -= width;
    return start;
}

}  // namespace

bool IsTransientFailure(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_IOERR:
    case SQLITE_NOMEM:
    case SQLITE_INTERRUPT:
        return true;
    default:
        return false;
    }
}

void CHistoryWriter::CRollupDelta::Add(double value)
{
    if (m_llCount == 0 || value < m_dMin) m_dMin = value;
    if (m_llCount == 0 || value > m_dMax) m_dMax = value;
    m_dSum += value;
    ++m_llCount;
}

CHistoryWriter::CHistoryWriter(const CHistoryOptions& options, std::string path)
    : m_options(options), m_strPath(std::move(path))
{
}

bool CHistoryWriter::IsOpen() const { return m_db.IsOpen() && m_insertRow.IsPrepared(); }

int CHistoryWriter::Open()
{
    Close();  // a retry after a half-finished open starts clean
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(m_strPath).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    int rc = m_db.Open(m_strPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc != SQLITE_OK) return Fail(rc);
    sqlite3_busy_timeout(m_db.Handle(), m_options.m_nBusyTimeoutMs);
    rc = m_db.Exec("PRAGMA journal_mode=WAL");
    if (rc == SQLITE_OK) rc = m_db.Exec("PRAGMA synchronous=NORMAL");
    if (rc == SQLITE_OK && m_options.m_llMaxPageCount > 0) {
        const std::string sql = "PRAGMA max_page_count=" + std::to_string(m_options.m_llMaxPageCount);
        rc = m_db.Exec(sql.c_str());
    }
    bool newer = false;
    if (rc == SQLITE_OK) rc = CreateHistorySchema(m_db, newer);
    if (newer) {
        m_strError = "History recording stopped: " + m_strPath +
                     " was written by a newer version of the program. Use that version, or move the file aside.";
        m_db.Close();
        return SQLITE_ERROR;
    }
    if (rc == SQLITE_OK) rc = m_insertRow.Prepare(m_db, kReadingsInsertSql);
    if (rc == SQLITE_OK)
        rc = m_upsertUnit.Prepare(
            m_db,
            "INSERT INTO units(part_number, device, firmware, product_type) VALUES(?1, ?2, ?3, ?4)"
            " ON CONFLICT(part_number, device) DO UPDATE SET firmware = coalesce(excluded.firmware, firmware),"
            " product_type = coalesce(excluded.product_type, product_type) RETURNING id");
    if (rc == SQLITE_OK)
        rc = m_insertEvent.Prepare(m_db, "INSERT INTO events(unit_id, host_ms, name, detail) VALUES(?1, ?2, ?3, ?4)");
    if (rc == SQLITE_OK)
        rc = m_upsertRollup.Prepare(
            m_db,
            "INSERT INTO rollups(unit_id, period_s, quantity, start_ms, n, v_min, v_max, v_sum)"
            " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT DO UPDATE SET n = n + excluded.n,"
            " v_min = min(v_min, excluded.v_min), v_max = max(v_max, excluded.v_max),"
            " v_sum = v_sum + excluded.v_sum");
    if (rc == SQLITE_OK)
        rc = m_pruneReadings.Prepare(
            m_db,
            "DELETE FROM readings WHERE unit_id = ?1 AND host_ms < coalesce((SELECT host_ms FROM readings"
            " WHERE unit_id = ?1 AND host_ms < ?2 ORDER BY host_ms LIMIT 1 OFFSET ?3), ?2)");
    if (rc == SQLITE_OK)
        rc = m_pruneRollups.Prepare(
            m_db,
            "DELETE FROM rollups WHERE unit_id = ?1 AND period_s = ?2 AND quantity = ?3 AND start_ms <"
            " coalesce((SELECT start_ms FROM rollups WHERE unit_id = ?1 AND period_s = ?2 AND quantity = ?3"
            " AND start_ms < ?4 ORDER BY start_ms LIMIT 1 OFFSET ?5), ?4)");
    if (rc == SQLITE_OK)
        rc = m_pruneEvents.Prepare(
            m_db,
            "DELETE FROM events WHERE host_ms < coalesce((SELECT host_ms FROM events WHERE host_ms < ?1"
            " ORDER BY host_ms LIMIT 1 OFFSET ?2), ?1)");
    if (rc == SQLITE_OK) rc = m_unitIds.Prepare(m_db, "SELECT id FROM units");
    if (rc == SQLITE_OK)
        rc = m_lastRow.Prepare(m_db, "SELECT clean_stop FROM readings WHERE unit_id = ?1 ORDER BY seq DESC LIMIT 1");
    if (rc == SQLITE_OK)
        rc = m_cleanStop.Prepare(m_db, "UPDATE readings SET clean_stop = 1 WHERE rowid = (SELECT rowid FROM readings"
                                       " WHERE unit_id = ?1 ORDER BY seq DESC LIMIT 1)");
    if (rc == SQLITE_OK) {
        // Arrival order continues after the last row written (the newest
        // rowid is the newest row).
        CSqliteStatement last;
        rc = last.Prepare(m_db, "SELECT seq FROM readings ORDER BY rowid DESC LIMIT 1");
        if (rc == SQLITE_OK) rc = last.Step();
        if (rc == SQLITE_ROW) m_llNextSeq = last.Int(0) + 1;
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK) return Fail(rc);
    return SQLITE_OK;
}

void CHistoryWriter::Close()
{
    m_insertRow.Finalize();
    m_upsertUnit.Finalize();
    m_insertEvent.Finalize();
    m_upsertRollup.Finalize();
    m_pruneReadings.Finalize();
    m_pruneRollups.Finalize();
    m_pruneEvents.Finalize();
    m_unitIds.Finalize();
    m_lastRow.Finalize();
    m_cleanStop.Finalize();
    m_db.Close();
}

// Writes the whole batch in one transaction; on failure nothing of it is
// kept and the batch may be offered again.
int CHistoryWriter::Commit(const std::vector<CHistoryQueueItem>& batch, std::uint64_t& rows)
{
    rows = 0;
    if (batch.empty()) return SQLITE_OK;
    int rc = m_db.Exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return Fail(rc);
    const std::int64_t unitBefore = m_llUnitId;
    const std::int64_t seqBefore = m_llNextSeq;
    m_rollups.clear();
    for (const CHistoryQueueItem& item : batch) {
        switch (item.m_kind) {
        case CHistoryQueueItem::Kind::Unit:
            rc = UpsertUnit(item.m_strA, item.m_strB, item.m_strC, item.m_nProductType);
            break;
        case CHistoryQueueItem::Kind::Row: rc = InsertRow(item.m_row); ++rows; break;
        case CHistoryQueueItem::Kind::Event: rc = InsertEvent(item); break;
        case CHistoryQueueItem::Kind::CleanStop: rc = MarkCleanStop(); break;
        }
        if (rc != SQLITE_OK) break;
    }
    if (rc == SQLITE_OK) rc = WriteRollups();
    if (rc == SQLITE_OK) rc = m_db.Exec("COMMIT");
    if (rc != SQLITE_OK) {
        Fail(rc);  // before the rollback replaces the connection's error text
        if (sqlite3_get_autocommit(m_db.Handle()) == 0) m_db.Exec("ROLLBACK");
        m_llUnitId = unitBefore;
        m_llNextSeq = seqBefore;
        return rc;
    }
    return SQLITE_OK;
}

// Deletes at most one batch per table and unit; true when more is left.
bool CHistoryWriter::Prune(std::int64_t nowMs, int& rc)
{
    rc = SQLITE_OK;
    bool more = false;
    const std::int64_t rawLimit = nowMs - std::int64_t{m_options.m_nRawRetentionDays} * kMsPerDay;
    const std::int64_t rollupLimit = nowMs - std::int64_t{m_options.m_nRollupRetentionDays} * kMsPerDay;
    std::vector<std::int64_t> units;
    while ((rc = m_unitIds.Step()) == SQLITE_ROW) units.push_back(m_unitIds.Int(0));
    m_unitIds.Reset();
    if (rc != SQLITE_DONE) return false;
    rc = SQLITE_OK;
    auto run = [&](CSqliteStatement& s) {
        rc = s.Step();
        s.Reset();
        if (rc != SQLITE_DONE) return false;
        rc = SQLITE_OK;
        if (sqlite3_changes(m_db.Handle()) >= kPruneBatch) more = true;
        return true;
    };
    for (std::int64_t unit : units) {
        m_pruneReadings.Bind(1, unit);
        m_pruneReadings.Bind(2, rawLimit);
        m_pruneReadings.Bind(3, std::int64_t{kPruneBatch});
        if (!run(m_pruneReadings)) {
            (void)Fail(rc);
            return false;
        }
        for (int period : {kRollupMinuteS, kRollupHourS}) {
            for (int q = 0; q < kHistoryQuantityCount; ++q) {
                m_pruneRollups.Bind(1, unit);
                m_pruneRollups.Bind(2, std::int64_t{period});
                m_pruneRollups.Bind(3, std::int64_t{q});
                m_pruneRollups.Bind(4, rollupLimit);
                m_pruneRollups.Bind(5, std::int64_t{kPruneBatch});
                if (!run(m_pruneRollups)) {
            (void)Fail(rc);
            return false;
        }
            }
        }
    }
    m_pruneEvents.Bind(1, rollupLimit);
    m_pruneEvents.Bind(2, std::int64_t{kPruneBatch});
    if (!run(m_pruneEvents)) {
            (void)Fail(rc);
            return false;
        }
    return more;
}

// The text for the last failure.
std::string CHistoryWriter::ErrorText(int rc) const
{
    if (!m_strError.empty()) return m_strError;
    return DescribeFailure(rc, m_strPath, m_strDetail);
}

int CHistoryWriter::Fail(int rc)
{
    m_strDetail = m_db.IsOpen() ? m_db.ErrorText() : sqlite3_errstr(rc);
    return rc;
}

int CHistoryWriter::UpsertUnit(const std::string& part, const std::string& device, const std::string& firmware, int productType)
{
    m_upsertUnit.Bind(1, std::string_view(part));
    m_upsertUnit.Bind(2, std::string_view(device));
    if (firmware.empty()) m_upsertUnit.BindNull(3);
    else m_upsertUnit.Bind(3, std::string_view(firmware));
    if (productType < 0) m_upsertUnit.BindNull(4);
    else m_upsertUnit.Bind(4, std::int64_t{productType});
    int rc = m_upsertUnit.Step();
    if (rc == SQLITE_ROW) {
        m_llUnitId = m_upsertUnit.Int(0);
        rc = m_upsertUnit.Step();
    }
    m_upsertUnit.Reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int CHistoryWriter::EnsureUnit()
{
    if (m_llUnitId != 0) return SQLITE_OK;
    // Rows that arrive before any unit was named still need one.
    return UpsertUnit("", "", "", -1);
}

int CHistoryWriter::LastRowStoppedCleanly(bool& clean, bool& any)
{
    m_lastRow.Bind(1, m_llUnitId);
    int rc = m_lastRow.Step();
    any = rc == SQLITE_ROW;
    clean = any && m_lastRow.Int(0) != 0;
    m_lastRow.Reset();
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int CHistoryWriter::MarkCleanStop()
{
    if (m_llUnitId == 0) return SQLITE_OK;
    m_cleanStop.Bind(1, m_llUnitId);
    const int rc = m_cleanStop.Step();
    m_cleanStop.Reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int CHistoryWriter::InsertRow(const CHistoryRow& queued)
{
    int rc = EnsureUnit();
    if (rc != SQLITE_OK) return rc;
    // A recording's first row says the recorder restarted only when the
    // one before it did not stop cleanly; a clean stop leaves a plain gap.
    const CHistoryRow* pRow = &queued;
    CHistoryRow unmarked;
    if (queued.m_marker == HistoryMarker::RecorderRestart) {
        bool clean = false;
        bool any = false;
        rc = LastRowStoppedCleanly(clean, any);
        if (rc != SQLITE_OK) return rc;
        if (clean || !any) {
            unmarked = queued;
            unmarked.m_marker = HistoryMarker::None;
            pRow = &unmarked;
        }
    }
    const CHistoryRow& row = *pRow;
    BindRow(m_insertRow, m_llUnitId, row);
    m_insertRow.Bind(26, m_llNextSeq++);
    rc = m_insertRow.Step();
    m_insertRow.Reset();
    if (rc != SQLITE_DONE) return rc;
    for (int q = 0; q < kHistoryQuantityCount; ++q) {
        const auto quantity = static_cast<HistoryQuantity>(q);
        if (quantity == HistoryQuantity::PpsOffset) {
            // Every 1PPS sample counts in the roll-up, not only the row's last.
            for (int i = 0; i < row.PpsSamplesKept(); ++i)
                AddRollup(row.m_llHostMs, q, row.m_adPpsSamples[static_cast<std::size_t>(i)]);
        } else if (const auto value = HistoryQuantityValue(row, quantity)) {
            AddRollup(row.m_llHostMs, q, *value);
        }
    }
    return SQLITE_OK;
}

void CHistoryWriter::AddRollup(std::int64_t hostMs, int quantity, double value)
{
    for (int period : {kRollupMinuteS, kRollupHourS})
        m_rollups[CRollupKey{m_llUnitId, period, quantity, BucketStart(hostMs, period)}].Add(value);
}

int CHistoryWriter::WriteRollups()
{
    for (const auto& [key, delta] : m_rollups) {
        m_upsertRollup.Bind(1, key.m_llUnitId);
        m_upsertRollup.Bind(2, std::int64_t{key.m_nPeriodS});
        m_upsertRollup.Bind(3, std::int64_t{key.m_nQuantity});
        m_upsertRollup.Bind(4, key.m_llStartMs);
        m_upsertRollup.Bind(5, delta.m_llCount);
        m_upsertRollup.Bind(6, delta.m_dMin);
        m_upsertRollup.Bind(7, delta.m_dMax);
        m_upsertRollup.Bind(8, delta.m_dSum);
        const int rc = m_upsertRollup.Step();
        m_upsertRollup.Reset();
        if (rc != SQLITE_DONE) return rc;
    }
    m_rollups.clear();
    return SQLITE_OK;
}

int CHistoryWriter::InsertEvent(const CHistoryQueueItem& item)
{
    if (m_llUnitId != 0) m_insertEvent.Bind(1, m_llUnitId);
    else m_insertEvent.BindNull(1);
    m_insertEvent.Bind(2, item.m_llHostMs);
    m_insertEvent.Bind(3, std::string_view(item.m_strA));
    m_insertEvent.Bind(4, std::string_view(item.m_strB));
    const int rc = m_insertEvent.Step();
    m_insertEvent.Reset();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

}  // namespace velmor
