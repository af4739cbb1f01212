#include "counter/CounterHistory.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <string_view>
#include <tuple>
#include <utility>

#include "history/HistoryTime.h"

namespace velmor {

namespace {

const char* const kCreateCounterSql = R"SQL(
CREATE TABLE IF NOT EXISTS counter_samples(
    id INTEGER PRIMARY KEY,
    unit_device TEXT NOT NULL,
    counter_device TEXT NOT NULL,
    host_ms INTEGER NOT NULL,
    channel TEXT NOT NULL,
    text TEXT NOT NULL,
    text_b TEXT,
    phase_ps INTEGER NOT NULL,
    segment_start INTEGER NOT NULL DEFAULT 0,
    slip INTEGER NOT NULL DEFAULT 0,
    unit_host_ms INTEGER);
CREATE INDEX IF NOT EXISTS counter_samples_unit_time ON counter_samples(unit_device, counter_device, host_ms);
CREATE TABLE IF NOT EXISTS counter_rollups(
    unit_device TEXT NOT NULL,
    counter_device TEXT NOT NULL,
    channel TEXT NOT NULL,
    period_s INTEGER NOT NULL,
    start_ms INTEGER NOT NULL,
    n INTEGER NOT NULL,
    v_min REAL,
    v_max REAL,
    v_sum REAL,
    segment_starts INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY(unit_device, counter_device, channel, period_s, start_ms)) WITHOUT ROWID;
)SQL";

// Phase in picoseconds, as the samples hold it.
const char* const kUpsertRollupSql =
    "INSERT INTO counter_rollups(unit_device, counter_device, channel, period_s, start_ms, n, v_min, v_max, v_sum,"
    " segment_starts) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10) ON CONFLICT DO UPDATE SET n = n + excluded.n,"
    " v_min = min(v_min, excluded.v_min), v_max = max(v_max, excluded.v_max), v_sum = v_sum + excluded.v_sum,"
    " segment_starts = segment_starts + excluded.segment_starts";

const char* const kInsertSql =
    "INSERT INTO counter_samples(unit_device, counter_device, host_ms, channel, text, text_b, phase_ps,"
    " segment_start, slip, unit_host_ms) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)";

constexpr std::int64_t kDayMs = 86400000;
constexpr int kCommitIntervalMs = 500;
constexpr std::int64_t kPruneIntervalMs = 60000;

struct RollupKey {
    std::string_view m_unit, m_counter, m_channel;
    int m_nPeriodS;
    std::int64_t m_llStartMs;
    bool operator<(const RollupKey& o) const
    {
        return std::tie(m_unit, m_counter, m_channel, m_nPeriodS, m_llStartMs) <
               std::tie(o.m_unit, o.m_counter, o.m_channel, o.m_nPeriodS, o.m_llStartMs);
    }
};

struct RollupDelta {
    std::int64_t m_llCount = 0;
    double m_dMin = 0, m_dMax = 0, m_dSum = 0;
    std::int64_t m_llStarts = 0;
};

std::int64_t PeriodStart(std::int64_t ms, int periodS)
{
    const std::int64_t width = std::int64_t{periodS} * 1000;
    std::int64_t start = ms - ms % width;
    if (ms % width < 0) start -= width;
    return start;
}

// Adds |rows| to their minute and hour roll-ups, inside the caller's transaction.
bool WriteRollups(CSqliteDb& db, const std::vector<CCounterRow>& rows)
{
    std::map<RollupKey, RollupDelta> deltas;
    for (const CCounterRow& r : rows) {
        const double v = static_cast<double>(r.m_phasePs);
        for (int period : {kCounterRollupMinuteS, kCounterRollupHourS}) {
            RollupDelta& d = deltas[RollupKey{r.m_strUnit, r.m_strCounter, r.m_strChannel, period,
                                              PeriodStart(r.m_llHostMs, period)}];
            d.m_dMin = d.m_llCount == 0 ? v : std::min(d.m_dMin, v);
            d.m_dMax = d.m_llCount == 0 ? v : std::max(d.m_dMax, v);
            d.m_dSum += v;
            ++d.m_llCount;
            d.m_llStarts += r.m_bSegmentStart ? 1 : 0;
        }
    }
    CSqliteStatement upsert;
    if (upsert.Prepare(db, kUpsertRollupSql) != SQLITE_OK) return false;
    for (const auto& [key, d] : deltas) {
        upsert.Bind(1, key.m_unit);
        upsert.Bind(2, key.m_counter);
        upsert.Bind(3, key.m_channel);
        upsert.Bind(4, std::int64_t{key.m_nPeriodS});
        upsert.Bind(5, key.m_llStartMs);
        upsert.Bind(6, d.m_llCount);
        upsert.Bind(7, d.m_dMin);
        upsert.Bind(8, d.m_dMax);
        upsert.Bind(9, d.m_dSum);
        upsert.Bind(10, d.m_llStarts);
        const int rc = upsert.Step();
        upsert.Reset();
        if (rc != SQLITE_DONE) return false;
    }
    return true;
}

}  // namespace

int CreateCounterTable(CSqliteDb& db) { return db.Exec(kCreateCounterSql); }

// ---- the join ---------------------------------------------------------------

void CCounterJoin::AddUnitReport(std::uint64_t tick, std::int64_t rowHostMs)
{
    m_reports.push_back({tick, rowHostMs});
}

void CCounterJoin::AddSample(const CCounterSample& sample, std::int64_t hostMs)
{
    m_samples.emplace_back(sample, hostMs);
}

void CCounterJoin::Release(std::uint64_t now, std::vector<std::pair<CCounterSample, CCounterRow>>& out, bool all)
{
    while (!m_samples.empty()) {
        const CCounterSample& sample = m_samples.front().first;
        const std::uint64_t at = sample.m_qwTick;
        // A report up to the window after the sample may still come.
        if (!all && now <= at + kJoinWindowMs) break;
        CCounterRow row;
        row.m_llHostMs = m_samples.front().second;
        std::uint64_t best = kJoinWindowMs + 1;
        for (const Report& report : m_reports) {
            const std::uint64_t distance = report.m_qwTick > at ? report.m_qwTick - at : at - report.m_qwTick;
            // The earlier of two equally near reports.
            if (distance < best) {
                best = distance;
                row.m_llUnitRowMs = report.m_llHostMs;
            }
        }
        out.emplace_back(sample, std::move(row));
        m_samples.pop_front();
    }
    // Reports no waiting sample can reach any more.
    const std::uint64_t horizon = m_samples.empty() ? now : m_samples.front().first.m_qwTick;
    while (!m_reports.empty() && m_reports.front().m_qwTick + kJoinWindowMs < horizon) m_reports.pop_front();
}

// ---- the store ----------------------------------------------------------------

CCounterStore::CCounterStore(std::string path, int retentionDays, std::function<std::int64_t()> utcClock,
                             int rollupRetentionDays)
    : m_strPath(std::move(path)), m_nRetentionDays(retentionDays), m_nRollupRetentionDays(rollupRetentionDays),
      m_clock(utcClock ? std::move(utcClock) : std::function<std::int64_t()>(SystemUtcMs))
{
    m_thread = std::thread([this] { Run(); });
}

CCounterStore::~CCounterStore()
{
    Flush(5000);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CCounterStore::Append(CCounterRow row)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nQueued;
        if (m_queue.size() >= kMaxQueued) {
            // The database has been failing for a long time: keep the newest.
            m_queue.erase(m_queue.begin());
            ++m_nWritten;
        }
        m_queue.push_back(std::move(row));
    }
}

bool CCounterStore::Flush(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::uint64_t target = m_nQueued;
    m_wake.notify_all();
    return m_done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_nWritten >= target; });
}

std::string CCounterStore::LastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strError;
}

bool CCounterStore::Write(CSqliteDb& db, std::vector<CCounterRow>& rows)
{
    if (!db.IsOpen()) {
        if (db.Open(m_strPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) != SQLITE_OK) {
            db.Close();
            return false;
        }
        // The unit's writer holds the same file: wait for its locks.
        sqlite3_busy_timeout(db.Handle(), 5000);
        db.Exec("PRAGMA journal_mode=WAL");
        if (CreateCounterTable(db) != SQLITE_OK) {
            db.Close();
            return false;
        }
    }
    if (rows.empty()) return true;
    CSqliteStatement insert;
    if (insert.Prepare(db, kInsertSql) != SQLITE_OK || db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) return false;
    for (const CCounterRow& r : rows) {
        insert.Bind(1, std::string_view(r.m_strUnit));
        insert.Bind(2, std::string_view(r.m_strCounter));
        insert.Bind(3, r.m_llHostMs);
        insert.Bind(4, std::string_view(r.m_strChannel));
        insert.Bind(5, std::string_view(r.m_strText));
        if (r.m_strTextB.empty()) insert.BindNull(6);
        else insert.Bind(6, std::string_view(r.m_strTextB));
        insert.Bind(7, r.m_phasePs);
        insert.Bind(8, static_cast<std::int64_t>(r.m_bSegmentStart));
        insert.Bind(9, static_cast<std::int64_t>(r.m_bSlip));
        insert.BindOptional(10, r.m_llUnitRowMs);
        if (insert.Step() != SQLITE_DONE) {
            insert.Reset();
            db.Exec("ROLLBACK");
            return false;
        }
        insert.Reset();
    }
    if (!WriteRollups(db, rows)) {
        db.Exec("ROLLBACK");
        return false;
    }
    if (db.Exec("COMMIT") != SQLITE_OK) {
        db.Exec("ROLLBACK");
        return false;
    }
    return true;
}

void CCounterStore::Run()
{
    CSqliteDb db;
    std::vector<CCounterRow> rows;
    std::int64_t nextPrune = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, std::chrono::milliseconds(kCommitIntervalMs));
        const bool stop = m_bStop;
        rows.insert(rows.end(), std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.end()));
        m_queue.clear();
        lock.unlock();
        const bool written = Write(db, rows);
        std::string error = written ? std::string() : (db.IsOpen() ? db.ErrorText() : "cannot open " + m_strPath);
        const std::uint64_t count = rows.size();
        if (written) rows.clear();
        const std::int64_t now = m_clock();
        if (written && db.IsOpen() && now >= nextPrune) {
            nextPrune = now + kPruneIntervalMs;
            CSqliteStatement prune;
            if (prune.Prepare(db, "DELETE FROM counter_samples WHERE host_ms < ?1") == SQLITE_OK) {
                prune.Bind(1, now - static_cast<std::int64_t>(m_nRetentionDays) * kDayMs);
                prune.Step();
            }
            CSqliteStatement pruneRollups;
            if (pruneRollups.Prepare(db, "DELETE FROM counter_rollups WHERE start_ms < ?1") == SQLITE_OK) {
                pruneRollups.Bind(1, now - static_cast<std::int64_t>(m_nRollupRetentionDays) * kDayMs);
                pruneRollups.Step();
            }
        }
        lock.lock();
        m_strError = error;
        // At shutdown rows that cannot be written are given up.
        if (written || stop) m_nWritten += count;
        if (!written && stop) rows.clear();
        m_done.notify_all();
        if (stop) return;
    }
}

// ---- the recorder -------------------------------------------------------------

CCounterRecorder::CCounterRecorder(CCounterStore& store, std::string unitDevice, std::string counterDevice,
                                   std::function<std::int64_t()> utcClock)
    : m_store(store), m_strUnit(std::move(unitDevice)), m_strCounter(std::move(counterDevice)),
      m_clock(utcClock ? std::move(utcClock) : std::function<std::int64_t()>(SystemUtcMs))
{
}

CCounterRecorder::~CCounterRecorder() { FlushAll(); }

void CCounterRecorder::OnCounterSample(const CCounterSession& session, const CCounterSample& sample)
{
    // A sample held back while the format was detected arrived earlier.
    const std::uint64_t now = session.Now();
    const std::int64_t age = now > sample.m_qwTick ? static_cast<std::int64_t>(now - sample.m_qwTick) : 0;
    m_join.AddSample(sample, m_clock() - age);
}

void CCounterRecorder::OnTick(std::uint64_t now)
{
    m_released.clear();
    m_join.Release(now, m_released);
    Write(m_released);
}

void CCounterRecorder::FlushAll()
{
    m_released.clear();
    m_join.Release(0, m_released, true);
    Write(m_released);
}

void CCounterRecorder::Write(std::vector<std::pair<CCounterSample, CCounterRow>>& joined)
{
    for (auto& [sample, row] : joined) {
        row.m_strUnit = m_strUnit;
        row.m_strCounter = m_strCounter;
        row.m_strChannel = sample.m_strChannel;
        row.m_strText = sample.m_strText;
        row.m_strTextB = sample.m_strTextB;
        row.m_phasePs = sample.m_phasePs;
        row.m_bSegmentStart = sample.m_bSegmentStart;
        row.m_bSlip = sample.m_bSlip;
        m_store.Append(std::move(row));
    }
}

}  // namespace velmor
