#pragma once
// The SQLite side of the history store: the connection, its prepared
// statements, the transaction that writes one batch of queued items with
// its roll-ups, and the pruning of old rows. Used by the store's worker
// thread only; every failure comes back as an SQLite result code.

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "history/HistoryRow.h"
#include "history/HistoryStore.h"
#include "history/Sqlite.h"

namespace velmor {

// One item of the store's queue.
struct CHistoryQueueItem {
    enum class Kind : std::uint8_t { Row, Unit, Event, CleanStop };
    Kind m_kind = Kind::Row;
    CHistoryRow m_row;
    // Unit: part number, device, firmware. Event: name, values.
    std::string m_strA;
    std::string m_strB;
    std::string m_strC;
    int m_nProductType = 0;
    std::int64_t m_llHostMs = 0;
};

// A failure that may pass (disk full, locked, I/O): the batch is kept and retried.
bool IsTransientFailure(int rc);

class CHistoryWriter {
public:
    CHistoryWriter(const CHistoryOptions& options, std::string path);

    bool IsOpen() const;
    // Opens or creates the database with its tables and statements.
    int Open();
    void Close();
    // Writes the whole batch in one transaction; on failure nothing of it is
    // kept and the batch may be offered again. |rows| counts the rows written.
    int Commit(const std::vector<CHistoryQueueItem>& batch, std::uint64_t& rows);
    // Deletes at most one small batch per table and unit; true when more is left.
    bool Prune(std::int64_t nowMs, int& rc);
    // The operator's sentence for the last failure.
    std::string ErrorText(int rc) const;

private:
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
        void Add(double value);
    };

    int Fail(int rc);
    int UpsertUnit(const std::string& part, const std::string& device, const std::string& firmware, int productType);
    int EnsureUnit();
    int InsertRow(const CHistoryRow& row);
    void AddRollup(std::int64_t hostMs, int quantity, double value);
    int WriteRollups();
    int InsertEvent(const CHistoryQueueItem& item);
    int MarkCleanStop();
    // Whether the current unit's last row was followed by a clean stop; false
    // when it has no row (a first recording interrupts nothing).
    int LastRowStoppedCleanly(bool& clean, bool& any);

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
    CSqliteStatement m_lastRow;
    CSqliteStatement m_cleanStop;
    std::int64_t m_llUnitId = 0;
    std::int64_t m_llNextSeq = 1;
    std::map<CRollupKey, CRollupDelta> m_rollups;
};

}  // namespace velmor
