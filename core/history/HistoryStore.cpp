#include "history/HistoryStore.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "history/HistoryTime.h"
#include "history/HistoryWriter.h"

namespace velmor {

namespace {

// The worker wakes early once this many items wait, so a burst is written
// in batches of a bounded size.
constexpr std::size_t kWakeBatch = 1024;
// Beyond this many waiting items (over two hours at one row a second) new
// ones are dropped: memory stays bounded while the database cannot be written.
constexpr std::size_t kMaxPending = 8192;

}  // namespace

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

void CHistoryStore::Enqueue(CHistoryQueueItem&& item)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool isRow = item.m_kind == CHistoryQueueItem::Kind::Row;
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
    CHistoryQueueItem& item = m_pending.emplace_back();
    item.m_row = row;
    ++m_qwEnqueued;
    ++m_counters.m_qwRowsQueued;
    if (m_pending.size() == kWakeBatch) m_wake.notify_one();
}

void CHistoryStore::SetUnit(std::string_view partNumber, std::string_view device, std::string_view firmware,
                            int productType)
{
    CHistoryQueueItem item;
    item.m_kind = CHistoryQueueItem::Kind::Unit;
    item.m_strA = partNumber;
    item.m_strB = device;
    item.m_strC = firmware;
    item.m_nProductType = productType;
    Enqueue(std::move(item));
}

void CHistoryStore::AppendCleanStop()
{
    CHistoryQueueItem item;
    item.m_kind = CHistoryQueueItem::Kind::CleanStop;
    Enqueue(std::move(item));
}

void CHistoryStore::AppendEvent(std::int64_t hostMs, std::string_view name, std::string_view values)
{
    CHistoryQueueItem item;
    item.m_kind = CHistoryQueueItem::Kind::Event;
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
    m_bRetryNow = true;  // a paused store tries once more for the caller
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
    CHistoryWriter worker(m_options, m_strPath);
    std::vector<CHistoryQueueItem> batch;
    batch.reserve(256);

    int rc = worker.Open();
    if (rc == SQLITE_OK) SetStatus(HistoryStatus::Recording, {});
    else SetStatus(IsTransientFailure(rc) ? HistoryStatus::Paused : HistoryStatus::Stopped,
                   worker.ErrorText(rc));
    Clock::time_point nextRetry = Clock::now() + std::chrono::milliseconds(m_options.m_nRetryIntervalMs);
    Clock::time_point nextPrune = Clock::now();

    for (;;) {
        bool stop = false;
        bool retryNow = false;
        std::uint64_t dropped = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(m_options.m_nCommitIntervalMs),
                            [&] { return m_bStop || m_nFlushWaiters > 0 || m_pending.size() >= kWakeBatch; });
            if (batch.empty()) {
                batch.swap(m_pending);
            } else {
                // A paused store keeps its batch; new items join it up to the bound.
                for (CHistoryQueueItem& item : m_pending) {
                    if (batch.size() < kMaxPending) batch.push_back(std::move(item));
                    else if (item.m_kind == CHistoryQueueItem::Kind::Row) ++dropped, ++m_qwHandled;
                    else ++m_qwHandled;
                }
                m_pending.clear();
            }
            stop = m_bStop;
            retryNow = m_bRetryNow;
            m_bRetryNow = false;
            m_counters.m_qwRowsDropped += dropped;
        }

        std::uint64_t handled = 0;
        std::uint64_t committedRows = 0;
        std::uint64_t droppedRows = 0;
        const HistoryStatus status = m_status.load();
        const bool retryDue = Clock::now() >= nextRetry || stop || retryNow;
        if (status == HistoryStatus::Recording || (status == HistoryStatus::Paused && retryDue)) {
            rc = worker.IsOpen() ? SQLITE_OK : worker.Open();
            if (rc == SQLITE_OK) rc = worker.Commit(batch, committedRows);
            if (rc == SQLITE_OK) {
                handled = batch.size();
                batch.clear();
                if (status != HistoryStatus::Recording) SetStatus(HistoryStatus::Recording, {});
            } else if (IsTransientFailure(rc)) {
                SetStatus(HistoryStatus::Paused, worker.ErrorText(rc));
                nextRetry = Clock::now() + std::chrono::milliseconds(m_options.m_nRetryIntervalMs);
            } else {
                SetStatus(HistoryStatus::Stopped, worker.ErrorText(rc));
                worker.Close();
            }
        }
        if (m_status.load() == HistoryStatus::Stopped || (stop && !batch.empty() && m_status.load() != HistoryStatus::Recording)) {
            // Nothing more can be written: what waits is lost, and counted.
            for (const CHistoryQueueItem& item : batch)
                if (item.m_kind == CHistoryQueueItem::Kind::Row) ++droppedRows;
            handled += batch.size();
            batch.clear();
        }
        if (m_status.load() == HistoryStatus::Recording && !stop && Clock::now() >= nextPrune) {
            int pruneRc = SQLITE_OK;
            const bool more = worker.Prune(m_options.m_clock(), pruneRc);
            if (pruneRc != SQLITE_OK && !IsTransientFailure(pruneRc)) {
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
