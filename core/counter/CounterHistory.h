#pragma once
// The counter's samples in the history database, beside the unit's rows.
//
// - Table: counter_samples, in the same database file as the unit's
//   readings, created here when missing (its own table; the readings'
//   schema is untouched). A row is keyed by the unit's device text and the
//   counter's, holds the number as received and the exact phase, and names
//   the unit row it joins by that row's host_ms.
// - Join: a sample joins the unit row whose time report arrived nearest to
//   it within kJoinWindowMs, by the host's monotonic tick, the clock both
//   sessions share. A sample therefore waits kJoinWindowMs for a later
//   report before it is written.
// - Roll-ups: counter_rollups holds per-minute and per-hour count, min, max
//   and sum of the phase (ps) and the number of segment starts, per unit,
//   counter and channel, written in the same transaction as the samples and
//   kept as long as the unit's roll-ups, so long spans outlive the samples.
// - Store: its own connection and writer thread, so the poll loop never
//   waits on the disk; rows older than the retention are pruned.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "counter/CounterSession.h"
#include "history/Sqlite.h"

namespace velmor {

struct CCounterRow {
    std::string m_strUnit;     // the unit's device text
    std::string m_strCounter;  // the counter's device text
    std::int64_t m_llHostMs = 0;
    std::string m_strChannel;  // "A", "B", "A-B"
    std::string m_strText;     // as received (chA's for a pair)
    std::string m_strTextB;    // chB's for a pair
    std::int64_t m_phasePs = 0;
    bool m_bSegmentStart = false;
    bool m_bSlip = false;
    std::optional<std::int64_t> m_llUnitRowMs;  // host_ms of the joined unit row
};

constexpr int kCounterRollupMinuteS = 60;
constexpr int kCounterRollupHourS = 3600;

// Creates counter_samples, its index and counter_rollups when missing.
int CreateCounterTable(CSqliteDb& db);

// Pairs samples with the unit's time reports; no I/O.
class CCounterJoin {
public:
    static constexpr std::uint64_t kJoinWindowMs = 500;

    // A unit row was written for a time report that arrived at |tick|.
    void AddUnitReport(std::uint64_t tick, std::int64_t rowHostMs);
    // A counter sample made at |sample.m_qwTick| and host UTC |hostMs|.
    void AddSample(const CCounterSample& sample, std::int64_t hostMs);
    // The samples whose window has passed by |now|, joined, oldest first.
    // |all| releases every sample (at shutdown).
    void Release(std::uint64_t now, std::vector<std::pair<CCounterSample, CCounterRow>>& out, bool all = false);

private:
    struct Report {
        std::uint64_t m_qwTick;
        std::int64_t m_llHostMs;
    };
    std::deque<Report> m_reports;
    std::deque<std::pair<CCounterSample, std::int64_t>> m_samples;
};

class CCounterStore {
public:
    // Samples are kept |retentionDays|, roll-ups |rollupRetentionDays|
    // (the unit's readings and roll-ups by default).
    explicit CCounterStore(std::string path, int retentionDays = 30,
                           std::function<std::int64_t()> utcClock = {}, int rollupRetentionDays = 730);
    // Writes what is queued (a few seconds at most) and closes.
    ~CCounterStore();
    CCounterStore(const CCounterStore&) = delete;
    CCounterStore& operator=(const CCounterStore&) = delete;

    void Append(CCounterRow row);
    // Waits until everything queued so far is written; false after |timeoutMs|.
    bool Flush(int timeoutMs);
    // Why the last write failed; empty while all is well.
    std::string LastError() const;

    static constexpr std::size_t kMaxQueued = 100000;

private:
    void Run();
    bool Write(CSqliteDb& db, std::vector<CCounterRow>& rows);

    std::string m_strPath;
    int m_nRetentionDays;
    int m_nRollupRetentionDays;
    std::function<std::int64_t()> m_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<CCounterRow> m_queue;
    std::uint64_t m_nQueued = 0;
    std::uint64_t m_nWritten = 0;  // rows written or given up
    bool m_bStop = false;
    std::string m_strError;
    std::thread m_thread;
};

// One counter beside one unit: joins its samples to the unit's rows and
// queues them to the store.
class CCounterRecorder : public ICounterObserver {
public:
    CCounterRecorder(CCounterStore& store, std::string unitDevice, std::string counterDevice,
                     std::function<std::int64_t()> utcClock = {});
    ~CCounterRecorder() override;
    void OnCounterSample(const CCounterSession& session, const CCounterSample& sample) override;
    void OnUnitRow(std::uint64_t tick, std::int64_t rowHostMs) { m_join.AddUnitReport(tick, rowHostMs); }
    // The poll tick: writes the samples whose join window has passed.
    void OnTick(std::uint64_t now);
    // Writes every sample still waiting (at shutdown).
    void FlushAll();

private:
    void Write(std::vector<std::pair<CCounterSample, CCounterRow>>& joined);

    CCounterStore& m_store;
    std::string m_strUnit, m_strCounter;
    std::function<std::int64_t()> m_clock;
    CCounterJoin m_join;
    std::vector<std::pair<CCounterSample, CCounterRow>> m_released;
};

}  // namespace velmor
