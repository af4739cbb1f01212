#pragma once
// The history database's tables, shared by the writer and the readers.
//
//   units     one row per (part number, device) the program has recorded
//   readings  one row per time report (or per second for units without one),
//             in arrival order (seq), with the unit's second of its samples
//   rollups   per-minute and per-hour count/min/max/sum of each quantity
//   events    named events with a values text, for alarms and the like

#include <string>

#include "history/HistoryRow.h"
#include "history/Sqlite.h"

namespace velmor {

constexpr int kHistorySchemaVersion = 2;
constexpr int kRollupMinuteS = 60;
constexpr int kRollupHourS = 3600;

// Creates what is missing, or brings a file of an earlier version up to
// this one (version 1 had no arrival order, unit second or clean-stop
// mark); SQLITE_OK or the error. |newerSchema| is set when
// the file was written by a later version of the program.
int CreateHistorySchema(CSqliteDb& db, bool& newerSchema);

// The readings columns after unit_id, in the order InsertRowSql binds and
// SelectRowColumns reads them.
extern const char* const kReadingsInsertSql;  // ?1 unit_id, ?2.. the columns
extern const char* const kReadingsSelectColumns;
extern const char* const kReadingsSelectColumnsV1;  // the same from a version 1 file

void BindRow(CSqliteStatement& insert, std::int64_t unitId, const CHistoryRow& row);
// Reads the kReadingsSelectColumns starting at column |first|.
CHistoryRow ReadRow(const CSqliteStatement& select, int first);

// The extra 1PPS samples of a row as text ("12 12 13"), and back.
std::string FormatPpsSamples(const CHistoryRow& row);
void ParsePpsSamples(std::string_view text, CHistoryRow& row);

// Shortest text that reads back as the same double, locale-free.
std::string FormatDouble(double value);

}  // namespace velmor
