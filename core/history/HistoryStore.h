#pragma once
// The history database writer. The receive path only appends to an
// in-memory queue; a worker thread owns the SQLite connection, commits what
// is queued in one transaction at least every commit interval, keeps the
// per-minute and per-hour roll-ups as it writes, and prunes old rows in small
// batches. A database that cannot be written (disk full, locked by another
// program, damaged or not a database) never throws into the caller: the
// store pauses or stops, and says why in a text the program shows once.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "history/HistoryRow.h"

namespace velmor {

struct CHistoryQueueItem;

struct CHistoryOptions {
    std::string m_strPath;                 // empty: DefaultHistoryPath()
    int m_nRawRetentionDays = 30;          // readings older than this are pruned
    int m_nRollupRetentionDays = 730;      // roll-ups and events older than this are pruned
    int m_nCommitIntervalMs = 500;         // the longest a queued row waits for its commit
    int m_nBusyTimeoutMs = 2000;           // how long a write waits for another program's lock
    int m_nRetryIntervalMs = 10000;        // how soon a paused store tries again
    int m_nPruneIntervalMs = 60000;        // how often old rows are looked for
    std::int64_t m_llMaxPageCount = 0;     // a size cap in pages (0: none); lets tests fill the "disk"
    std::function<std::int64_t()> m_clock; // host UTC ms for pruning; empty: the system clock
};

enum class HistoryStatus : std::uint8_t {
    Starting,   // the worker has not opened the database yet
    Recording,  // rows are being written
    Paused,     // a write failed for a reason that may pass (disk full, locked); retrying
    Stopped,    // recording has ended (damaged file, cannot open, closed)
};

struct CHistoryCounters {
    std::uint64_t m_qwRowsQueued = 0;
    std::uint64_t m_qwRowsCommitted = 0;
    std::uint64_t m_qwRowsDropped = 0;  // queue full while paused, or recording stopped
    std::uint64_t m_qwCommits = 0;
};

// $XDG_DATA_HOME/velmor/history.sqlite3, else ~/.local/share/velmor/history.sqlite3.
std::string DefaultHistoryPath();

class CHistoryStore {
public:
    explicit CHistoryStore(CHistoryOptions options = {});
    // Commits what is queued (waiting a few seconds at most) and closes.
    ~CHistoryStore();
    CHistoryStore(const CHistoryStore&) = delete;
    CHistoryStore& operator=(const CHistoryStore&) = delete;

    // The unit the following rows and events belong to; called when its
    // identity, firmware or product type changes.
    // Several recorders (one per session) may share a store: the rows that
    // follow SetUnit belong to that unit, so a recorder claims the store
    // before its row. True when another recorder had it (or nobody yet):
    // the claimant sets its unit again. Called on the poll thread only.
    bool ClaimUnit(const void* recorder)
    {
        const bool changed = m_pUnitOwner != recorder;
        m_pUnitOwner = recorder;
        return changed;
    }
    void SetUnit(std::string_view partNumber, std::string_view device, std::string_view firmware, int productType);
    // Receive path: copies the row into the queue. No I/O; no allocation
    // once the queue has grown to its working size.
    void Append(const CHistoryRow& row);
    // The current unit's recording stopped cleanly after its last row: the
    // next recording's first row is then no recorder restart.
    void AppendCleanStop();
    // A named event of the current unit at host time |hostMs|.
    void AppendEvent(std::int64_t hostMs, std::string_view name, std::string_view values);

    // Waits until everything queued before the call is committed or dropped
    // (at most |timeoutMs|); a paused store retries at once. False when
    // something is still waiting (time-out, or the retry failed).
    bool Flush(int timeoutMs = 10000);
    // Flushes and ends the worker; later appends are dropped. Idempotent.
    void Close();

    const std::string& Path() const { return m_strPath; }
    HistoryStatus Status() const { return m_status.load(); }
    // A sentence for the operator about the current state (empty while all is well).
    std::string StatusText() const;
    // True once for each change of the status text; gives the new text. Lets
    // the program's tick show "History recording stopped: ..." once.
    bool TakeStatusNotice(std::string& text);
    CHistoryCounters Counters() const;

private:
    void Enqueue(CHistoryQueueItem&& item);
    void SetStatus(HistoryStatus status, std::string text);
    void Run();

    CHistoryOptions m_options;
    std::string m_strPath;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;      // worker: stop, flush, or a full batch
    std::condition_variable m_progress;  // Flush(): items handled
    std::vector<CHistoryQueueItem> m_pending;
    std::uint64_t m_qwEnqueued = 0;
    std::uint64_t m_qwHandled = 0;
    bool m_bStop = false;
    std::uint64_t m_qwPasses = 0;  // worker loop passes completed
    int m_nFlushWaiters = 0;
    bool m_bWorkerDone = false;
    bool m_bRetryNow = false;
    CHistoryCounters m_counters;
    std::string m_strStatusText;
    bool m_bStatusNoticePending = false;
    std::atomic<HistoryStatus> m_status{HistoryStatus::Starting};
    std::thread m_thread;
    const void* m_pUnitOwner = nullptr;
};

}  // namespace velmor
