#include "history/HistoryStore.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>

#include "history/HistorySchema.h"
#include "history/Sqlite.h"

namespace velmor {

namespace {

// The worker wakes early once this many items wait, so a burst is written
// in batches of a bounded size.
constexpr std::size_t kWakeBatch = 1024;
// Beyond this many waiting items (over two hours at one row a second) new
// ones are dropped: memory stays bounded while the database cannot be written.
constexpr std::size_t kMaxPending = 8192;
// Rows deleted per pruning statement; each runs in its own short transaction.
constexpr int kPruneBatch = 2000;
constexpr std::int64_t kMsPerDay = 86400000;

std::int64_t SystemUtcMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

enum class FailureKind { Transient, Permanent };

FailureKind Classify(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_IOERR:
    case SQLITE_NOMEM:
    case SQLITE_INTERRUPT:
        return FailureKind::Transient;
    default:
        return FailureKind::Permanent;
    }
}

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

struct CRollupKey {
    std::int64_t m_llUnitId;
    int m_nPeriodS;
    int m_nQuantity;
    std::int64_t m_llStartMs;
    bool operator<(const CRollupKey& o) const
    {
        return std::tie(m_llUnitId, m_nPeriodS, m_nQuantity, m_llStartMs) <
               std::tie(o.m_llUnitId, o.m_nPeriodS, o.m_nQuantity, o.m_llStartMs);
    }
};

struct CRollupDelta {
    std::int64_t m_llCount = 0;
    double m_dMin = 0;
    double m_dMax = 0;
    double m_dSum = 0;
    void Add(double value)
    {
        if (m_llCount == 0 || value < m_dMin) m_dMin = value;
        if (m_llCount == 0 || value > m_dMax) m_dMax = value;
        m_dSum += value;
        ++m_llCount;
    }
};

std::int64_t BucketStart(std::int64_t ms, int periodS)
{
    const std::int64_t width = std::int64_t{periodS} * 1000;
    std::int64_t start = ms - ms % width;
    if (ms % width < 0) start -= width;
    return start;
}

}  // namespace

struct CHistoryStore::CQueueItem {
    enum class Kind : std::uint8_t { Row, Unit, Event };
    Kind m_kind = Kind::Row;
    CHistoryRow m_row;
    // Unit: part number, device, firmware. Event: name, values.
    std::string m_strA;
    std::string m_strB;
    std::string m_strC;
    int m_nProductType = 0;
    std::int64_t m_llHostMs = 0;
};

// Owns the connection and the prepared statements; used by the worker thread only.
class CHistoryStore::CWorker {
public:
    CWorker(const CHistoryOptions& options, const std::string& path) : m_options(options), m_strPath(path) {}

    bool IsOpen() const { return m_db.IsOpen() && m_insertRow.IsPrepared(); }

    int Open()
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
        if (rc != SQLITE_OK) return Fail(rc);
        return SQLITE_OK;
    }

    void Close()
    {
        m_insertRow.Finalize();
        m_upsertUnit.Finalize();
        m_insertEvent.Finalize();
        m_upsertRollup.Finalize();
        m_pruneReadings.Finalize();
        m_pruneRollups.Finalize();
        m_pruneEvents.Finalize();
        m_unitIds.Finalize();
        m_db.Close();
    }

    // Writes the whole batch in one transaction; on failure nothing of it is
    // kept and the batch may be offered again.
    int Commit(const std::vector<CQueueItem>& batch, std::uint64_t& rows)
    {
        rows = 0;
        if (batch.empty()) return SQLITE_OK;
        int rc = m_db.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return Fail(rc);
        const std::int64_t unitBefore = m_llUnitId;
        m_rollups.clear();
        for (const CQueueItem& item : batch) {
            switch (item.m_kind) {
            case CQueueItem::Kind::Unit: rc = UpsertUnit(item.m_strA, item.m_strB, item.m_strC, item.m_nProductType); break;
            case CQueueItem::Kind::Row: rc = InsertRow(item.m_row); ++rows; break;
            case CQueueItem::Kind::Event: rc = InsertEvent(item); break;
            }
            if (rc != SQLITE_OK) break;
        }
        if (rc == SQLITE_OK) rc = WriteRollups();
        if (rc == SQLITE_OK) rc = m_db.Exec("COMMIT");
        if (rc != SQLITE_OK) {
            if (sqlite3_get_autocommit(m_db.Handle()) == 0) m_db.Exec("ROLLBACK");
            m_llUnitId = unitBefore;
            return Fail(rc);
        }
        return SQLITE_OK;
    }

    // Deletes at most one batch per table and unit; true when more is left.
    bool Prune(std::int64_t nowMs, int& rc)
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
    std::string ErrorText(int rc) const
    {
        if (!m_strError.empty()) return m_strError;
        return DescribeFailure(rc, m_strPath, m_strDetail);
    }

private:
    int Fail(int rc)
    {
        m_strDetail = m_db.IsOpen() ? m_db.ErrorText() : sqlite3_errstr(rc);
        return rc;
    }

    int UpsertUnit(const std::string& part, const std::string& device, const std::string& firmware, int productType)
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

    int EnsureUnit()
    {
        if (m_llUnitId != 0) return SQLITE_OK;
        // Rows that arrive before any unit was named still need one.
        return UpsertUnit("", "", "", -1);
    }

    int InsertRow(const CHistoryRow& row)
    {
        int rc = EnsureUnit();
        if (rc != SQLITE_OK) return rc;
        BindRow(m_insertRow, m_llUnitId, row);
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

    void AddRollup(std::int64_t hostMs, int quantity, double value)
    {
        for (int period : {kRollupMinuteS, kRollupHourS})
            m_rollups[CRollupKey{m_llUnitId, period, quantity, BucketStart(hostMs, period)}].Add(value);
    }

    int WriteRollups()
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

    int InsertEvent(const CQueueItem& item)
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

    const CHistoryOptions& m_options;
    std::string m_strPath;
    std::string m_strDetail;
    std::string m_strError;
    CSqliteDb m_db;
    CSqliteStatement m_insertRow;
    CSqliteStatement m_upsertUnit;
    CSqliteStatement m_insertEvent;
    CSqliteStatement m_upsertRollup;
    CSqliteStatement m_pruneReadings;
    CSqliteStatement m_pruneRollups;
    CSqliteStatement m_pruneEvents;
    CSqliteStatement m_unitIds;
    std::int64_t m_llUnitId = 0;
    std::map<CRollupKey, CRollupDelta> m_rollups;
};

std::string DefaultHistoryPath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (data && *data == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : ".") / ".local" / "share";
    }
    return (base / "velmor" / "history.sqlite3").string();
}

CHistoryStore::CHistoryStore(CHistoryOptions options)
    : m_options(std::move(options)), m_strPath(m_options.m_strPath.empty() ? DefaultHistoryPath() : m_options.m_strPath)
{
    if (!m_options.m_clock) m_options.m_clock = SystemUtcMs;
    m_pending.reserve(256);
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        m_status = HistoryStatus::Stopped;
        m_strStatusText = std::string("History recording stopped: its worker thread could not start (") + e.what() + ").";
        m_bStatusNoticePending = true;
        m_bWorkerDone = true;
    }
}

CHistoryStore::~CHistoryStore() { Close(); }

void CHistoryStore::Enqueue(CQueueItem&& item)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool isRow = item.m_kind == CQueueItem::Kind::Row;
    if (m_bStop || m_status.load() == HistoryStatus::Stopped || m_pending.size() >= kMaxPending) {
        if (isRow) ++m_counters.m_qwRowsDropped;
        return;
    }
    m_pending.push_back(std::move(item));
    ++m_qwEnqueued;
    if (isRow) ++m_counters.m_qwRowsQueued;
    if (m_pending.size() == kWakeBatch) m_wake.notify_one();
}

void CHistoryStore::Append(const CHistoryRow& row)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bStop || m_status.load() == HistoryStatus::Stopped || m_pending.size() >= kMaxPending) {
        ++m_counters.m_qwRowsDropped;
        return;
    }
    // Constructed in place: the vector's capacity is reused from batch to
    // batch, so a row costs a copy and no allocation.
    CQueueItem& item = m_pending.emplace_back();
    item.m_row = row;
    ++m_qwEnqueued;
    ++m_counters.m_qwRowsQueued;
    if (m_pending.size() == kWakeBatch) m_wake.notify_one();
}

void CHistoryStore::SetUnit(std::string_view partNumber, std::string_view device, std::string_view firmware,
                            int productType)
{
    CQueueItem item;
    item.m_kind = CQueueItem::Kind::Unit;
    item.m_strA = partNumber;
    item.m_strB = device;
    item.m_strC = firmware;
    item.m_nProductType = productType;
    Enqueue(std::move(item));
}

void CHistoryStore::AppendEvent(std::int64_t hostMs, std::string_view name, std::string_view values)
{
    CQueueItem item;
    item.m_kind = CQueueItem::Kind::Event;
    item.m_llHostMs = hostMs;
    item.m_strA = name;
    item.m_strB = values;
    Enqueue(std::move(item));
}

bool CHistoryStore::Flush(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::uint64_t target = m_qwEnqueued;
    // Two more passes of the worker: one that starts after this call has
    // also done any pruning that was due.
    const std::uint64_t passes = m_qwPasses + 2;
    ++m_nFlushWaiters;
    m_wake.notify_one();
    const bool done = m_progress.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        if (m_bWorkerDone) return true;
        if (m_qwPasses < passes) return false;
        return m_qwHandled >= target || m_status.load() != HistoryStatus::Recording;
    });
    --m_nFlushWaiters;
    return done && m_qwHandled >= target;
}

void CHistoryStore::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStop && !m_thread.joinable()) return;
        m_bStop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

std::string CHistoryStore::StatusText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strStatusText;
}

bool CHistoryStore::TakeStatusNotice(std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bStatusNoticePending) return false;
    m_bStatusNoticePending = false;
    text = m_strStatusText.empty() ? "History recording resumed (" + m_strPath + ")." : m_strStatusText;
    return true;
}

CHistoryCounters CHistoryStore::Counters() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counters;
}

void CHistoryStore::SetStatus(HistoryStatus status, std::string text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const HistoryStatus before = m_status.exchange(status);
    // Starting -> Recording is no news; everything else the operator hears once.
    const bool quietStart = before == HistoryStatus::Starting && status == HistoryStatus::Recording;
    if (text != m_strStatusText && !quietStart) m_bStatusNoticePending = true;
    m_strStatusText = std::move(text);
}

void CHistoryStore::Run()
{
    using Clock = std::chrono::steady_clock;
    CWorker worker(m_options, m_strPath);
    std::vector<CQueueItem> batch;
    batch.reserve(256);

    int rc = worker.Open();
    if (rc == SQLITE_OK) SetStatus(HistoryStatus::Recording, {});
    else SetStatus(Classify(rc) == FailureKind::Transient ? HistoryStatus::Paused : HistoryStatus::Stopped,
                   worker.ErrorText(rc));
    Clock::time_point nextRetry = Clock::now() + std::chrono::milliseconds(m_options.m_nRetryIntervalMs);
    Clock::time_point nextPrune = Clock::now();

    for (;;) {
        bool stop = false;
        std::uint64_t dropped = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(m_options.m_nCommitIntervalMs),
                            [&] { return m_bStop || m_nFlushWaiters > 0 || m_pending.size() >= kWakeBatch; });
            if (batch.empty()) {
                batch.swap(m_pending);
            } else {
                // A paused store keeps its batch; new items join it up to the bound.
                for (CQueueItem& item : m_pending) {
                    if (batch.size() < kMaxPending) batch.push_back(std::move(item));
                    else if (item.m_kind == CQueueItem::Kind::Row) ++dropped, ++m_qwHandled;
                    else ++m_qwHandled;
                }
                m_pending.clear();
            }
            stop = m_bStop;
            m_counters.m_qwRowsDropped += dropped;
        }

        std::uint64_t handled = 0;
        std::uint64_t committedRows = 0;
        std::uint64_t droppedRows = 0;
        const HistoryStatus status = m_status.load();
        const bool retryDue = Clock::now() >= nextRetry || stop;
        if (status == HistoryStatus::Recording || (status == HistoryStatus::Paused && retryDue)) {
            rc = worker.IsOpen() ? SQLITE_OK : worker.Open();
            if (rc == SQLITE_OK) rc = worker.Commit(batch, committedRows);
            if (rc == SQLITE_OK) {
                handled = batch.size();
                batch.clear();
                if (status != HistoryStatus::Recording) SetStatus(HistoryStatus::Recording, {});
            } else if (Classify(rc) == FailureKind::Transient) {
                SetStatus(HistoryStatus::Paused, worker.ErrorText(rc));
                nextRetry = Clock::now() + std::chrono::milliseconds(m_options.m_nRetryIntervalMs);
            } else {
                SetStatus(HistoryStatus::Stopped, worker.ErrorText(rc));
                worker.Close();
            }
        }
        if (m_status.load() == HistoryStatus::Stopped || (stop && !batch.empty() && m_status.load() != HistoryStatus::Recording)) {
            // Nothing more can be written: what waits is lost, and counted.
            for (const CQueueItem& item : batch)
                if (item.m_kind == CQueueItem::Kind::Row) ++droppedRows;
            handled += batch.size();
            batch.clear();
        }
        if (m_status.load() == HistoryStatus::Recording && !stop && Clock::now() >= nextPrune) {
            int pruneRc = SQLITE_OK;
            const bool more = worker.Prune(m_options.m_clock(), pruneRc);
            if (pruneRc != SQLITE_OK && Classify(pruneRc) == FailureKind::Permanent) {
                SetStatus(HistoryStatus::Stopped, worker.ErrorText(pruneRc));
                worker.Close();
            }
            // A backlog is worked off one small batch per wake-up.
            nextPrune = Clock::now() + std::chrono::milliseconds(more ? 0 : m_options.m_nPruneIntervalMs);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_qwHandled += handled;
            m_counters.m_qwRowsCommitted += committedRows;
            m_counters.m_qwRowsDropped += droppedRows;
            if (committedRows) ++m_counters.m_qwCommits;
            ++m_qwPasses;
        }
        m_progress.notify_all();
        if (stop) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty() && batch.empty()) break;
            if (m_status.load() != HistoryStatus::Recording) {
                m_qwHandled += m_pending.size();
                m_pending.clear();
                break;
            }
        }
    }
    worker.Close();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = HistoryStatus::Stopped;
        m_bWorkerDone = true;
    }
    m_progress.notify_all();
}

}  // namespace velmor
