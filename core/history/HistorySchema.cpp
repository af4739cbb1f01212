#include "history/HistorySchema.h"

#include <charconv>

#include "history/HistoryTime.h"

namespace velmor {

namespace {

const char* const kCreateSql = R"SQL(
CREATE TABLE IF NOT EXISTS units(
    id INTEGER PRIMARY KEY,
    part_number TEXT NOT NULL,
    device TEXT NOT NULL,
    firmware TEXT,
    product_type INTEGER,
    UNIQUE(part_number, device));
CREATE TABLE IF NOT EXISTS readings(
    unit_id INTEGER NOT NULL,
    host_ms INTEGER NOT NULL,
    unit_year INTEGER,
    unit_month INTEGER,
    unit_day INTEGER,
    unit_time_of_day TEXT,
    time_mode TEXT,
    unit_utc_ms INTEGER,
    pps_offset_ns REAL,
    pps_count INTEGER NOT NULL DEFAULT 0,
    pps_samples TEXT,
    pps_raw_ns REAL,
    frequency_error REAL,
    frequency_std_error REAL,
    dac REAL,
    temperature_c REAL,
    discipline_state INTEGER,
    tfom INTEGER,
    position_mode TEXT,
    satellites_tracked INTEGER,
    satellites_used INTEGER,
    mean_strength REAL,
    coast_duration_s INTEGER,
    marker INTEGER NOT NULL DEFAULT 0,
    seq INTEGER,
    unit_second INTEGER,
    clean_stop INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS readings_unit_time ON readings(unit_id, host_ms, seq);
CREATE INDEX IF NOT EXISTS readings_unit_seq ON readings(unit_id, seq);
CREATE TABLE IF NOT EXISTS rollups(
    unit_id INTEGER NOT NULL,
    period_s INTEGER NOT NULL,
    quantity INTEGER NOT NULL,
    start_ms INTEGER NOT NULL,
    n INTEGER NOT NULL,
    v_min REAL,
    v_max REAL,
    v_sum REAL,
    PRIMARY KEY(unit_id, period_s, quantity, start_ms)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS events(
    id INTEGER PRIMARY KEY,
    unit_id INTEGER,
    host_ms INTEGER NOT NULL,
    name TEXT NOT NULL,
    detail TEXT);
CREATE INDEX IF NOT EXISTS events_time ON events(host_ms);
)SQL";

// From the first version: rows got their arrival order (the rowid, which is
// that order since rows were only ever appended), the unit's second and the
// clean-stop mark. Old rows keep an unknown unit second: their 1PPS sample
// was filed a second late, so only the host time may place them.
const char* const kMigrate1To2Sql = R"SQL(
ALTER TABLE readings ADD COLUMN seq INTEGER;
ALTER TABLE readings ADD COLUMN unit_second INTEGER;
ALTER TABLE readings ADD COLUMN clean_stop INTEGER NOT NULL DEFAULT 0;
UPDATE readings SET seq = rowid;
DROP INDEX IF EXISTS readings_unit_time;
CREATE INDEX readings_unit_time ON readings(unit_id, host_ms, seq);
CREATE INDEX IF NOT EXISTS readings_unit_seq ON readings(unit_id, seq);
)SQL";

}  // namespace

const char* const kReadingsInsertSql =
    "INSERT INTO readings(unit_id, host_ms, unit_year, unit_month, unit_day, unit_time_of_day, time_mode,"
    " unit_utc_ms, pps_offset_ns, pps_count, pps_samples, pps_raw_ns, frequency_error, frequency_std_error, dac,"
    " temperature_c, discipline_state, tfom, position_mode, satellites_tracked, satellites_used, mean_strength,"
    " coast_duration_s, marker, unit_second, seq) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13,"
    " ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, ?26)";

const char* const kReadingsSelectColumns =
    "host_ms, unit_year, unit_month, unit_day, unit_time_of_day, time_mode, unit_utc_ms, pps_offset_ns,"
    " pps_count, pps_samples, pps_raw_ns, frequency_error, frequency_std_error, dac, temperature_c,"
    " discipline_state, tfom, position_mode, satellites_tracked, satellites_used, mean_strength,"
    " coast_duration_s, marker, seq, unit_second, clean_stop";
// A first-version file that no recorder has opened since: the same columns.
const char* const kReadingsSelectColumnsV1 =
    "host_ms, unit_year, unit_month, unit_day, unit_time_of_day, time_mode, unit_utc_ms, pps_offset_ns,"
    " pps_count, pps_samples, pps_raw_ns, frequency_error, frequency_std_error, dac, temperature_c,"
    " discipline_state, tfom, position_mode, satellites_tracked, satellites_used, mean_strength,"
    " coast_duration_s, marker, rowid, NULL, 0";

int CreateHistorySchema(CSqliteDb& db, bool& newerSchema)
{
    newerSchema = false;
    CSqliteStatement version;
    int rc = version.Prepare(db, "PRAGMA user_version");
    if (rc != SQLITE_OK) return rc;
    rc = version.Step();
    if (rc != SQLITE_ROW) return rc;
    const std::int64_t found = version.Int(0);
    version.Finalize();
    if (found > kHistorySchemaVersion) {
        newerSchema = true;
        return SQLITE_ERROR;
    }
    if (found == kHistorySchemaVersion) return SQLITE_OK;
    rc = db.Exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return rc;
    rc = db.Exec(found == 1 ? kMigrate1To2Sql : kCreateSql);
    if (rc == SQLITE_OK) rc = db.Exec("PRAGMA user_version = 2");
    if (rc == SQLITE_OK) return db.Exec("COMMIT");
    db.Exec("ROLLBACK");
    return rc;
}

void BindRow(CSqliteStatement& insert, std::int64_t unitId, const CHistoryRow& row)
{
    insert.Bind(1, unitId);
    insert.Bind(2, row.m_llHostMs);
    insert.BindOptional(3, row.m_nUnitYear);
    insert.BindOptional(4, row.m_nUnitMonth);
    insert.BindOptional(5, row.m_nUnitDay);
    if (row.m_szUnitTimeOfDay.empty()) insert.BindNull(6);
    else insert.Bind(6, std::string_view(row.m_szUnitTimeOfDay.c_str()));
    insert.BindOptional(7, row.m_chTimeMode);
    insert.BindOptional(8, row.m_llUnitUtcMs);
    insert.BindOptional(9, row.m_dPpsOffsetNs);
    insert.Bind(10, static_cast<std::int64_t>(row.m_nPpsCount));
    if (row.m_nPpsCount > 1) insert.Bind(11, FormatPpsSamples(row));
    else insert.BindNull(11);
    insert.BindOptional(12, row.m_dPpsRawNs);
    insert.BindOptional(13, row.m_dFrequencyError);
    insert.BindOptional(14, row.m_dFrequencyStdError);
    insert.BindOptional(15, row.m_dDac);
    insert.BindOptional(16, row.m_dTemperatureC);
    insert.BindOptional(17, row.m_nDisciplineState);
    insert.BindOptional(18, row.m_nTfom);
    insert.BindOptional(19, row.m_chPositionMode);
    insert.BindOptional(20, row.m_nSatellitesTracked);
    insert.BindOptional(21, row.m_nSatellitesUsed);
    insert.BindOptional(22, row.m_dMeanStrength);
    insert.BindOptional(23, row.m_nCoastDurationS);
    insert.Bind(24, static_cast<std::int64_t>(row.m_marker));
    insert.BindOptional(25, row.m_llUnitSecond);
    insert.Bind(26, row.m_llSeq);
}

namespace {

template <typename T>
std::optional<T> OptionalAs(const CSqliteStatement& s, int column)
{
    if (s.IsNull(column)) return std::nullopt;
    return static_cast<T>(s.Int(column));
}

std::optional<char> OptionalChar(const CSqliteStatement& s, int column)
{
    if (s.IsNull(column)) return std::nullopt;
    const std::string text = s.Text(column);
    if (text.empty()) return std::nullopt;
    return text[0];
}

}  // namespace

CHistoryRow ReadRow(const CSqliteStatement& s, int c)
{
    CHistoryRow row;
    row.m_llHostMs = s.Int(c + 0);
    row.m_nUnitYear = OptionalAs<int>(s, c + 1);
    row.m_nUnitMonth = OptionalAs<int>(s, c + 2);
    row.m_nUnitDay = OptionalAs<int>(s, c + 3);
    if (!s.IsNull(c + 4)) row.m_szUnitTimeOfDay = s.Text(c + 4);
    row.m_chTimeMode = OptionalChar(s, c + 5);
    row.m_llUnitUtcMs = s.OptionalInt(c + 6);
    row.m_dPpsOffsetNs = s.OptionalDouble(c + 7);
    const std::int64_t count = s.Int(c + 8);
    row.m_nPpsCount = count < 0 ? 0 : count > 1000000 ? 1000000 : static_cast<int>(count);
    if (!s.IsNull(c + 9)) ParsePpsSamples(s.Text(c + 9), row);
    else if (row.m_nPpsCount >= 1 && row.m_dPpsOffsetNs) row.m_adPpsSamples[0] = *row.m_dPpsOffsetNs;
    row.m_dPpsRawNs = s.OptionalDouble(c + 10);
    row.m_dFrequencyError = s.OptionalDouble(c + 11);
    row.m_dFrequencyStdError = s.OptionalDouble(c + 12);
    row.m_dDac = s.OptionalDouble(c + 13);
    row.m_dTemperatureC = s.OptionalDouble(c + 14);
    row.m_nDisciplineState = OptionalAs<int>(s, c + 15);
    row.m_nTfom = OptionalAs<int>(s, c + 16);
    row.m_chPositionMode = OptionalChar(s, c + 17);
    row.m_nSatellitesTracked = OptionalAs<int>(s, c + 18);
    row.m_nSatellitesUsed = OptionalAs<int>(s, c + 19);
    row.m_dMeanStrength = s.OptionalDouble(c + 20);
    row.m_nCoastDurationS = OptionalAs<int>(s, c + 21);
    const std::int64_t marker = s.Int(c + 22);
    row.m_marker = HistoryMarkerFromNumber(marker);
    row.m_llSeq = s.Int(c + 23);
    row.m_llUnitSecond = s.OptionalInt(c + 24);
    row.m_bCleanStop = s.Int(c + 25) != 0;
    return row;
}

std::string FormatDouble(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string FormatPpsSamples(const CHistoryRow& row)
{
    std::string text;
    for (int i = 0; i < row.PpsSamplesKept(); ++i) {
        if (i) text += ' ';
        text += FormatDouble(row.m_adPpsSamples[static_cast<std::size_t>(i)]);
    }
    return text;
}

void ParsePpsSamples(std::string_view text, CHistoryRow& row)
{
    int kept = 0;
    while (!text.empty() && kept < kMaxPpsSamplesPerRow) {
        const std::size_t space = text.find(' ');
        const std::string_view item = text.substr(0, space);
        if (const auto value = ParseStrictDouble(item)) row.m_adPpsSamples[static_cast<std::size_t>(kept++)] = *value;
        if (space == std::string_view::npos) break;
        text.remove_prefix(space + 1);
    }
    if (row.m_nPpsCount < kept) row.m_nPpsCount = kept;
}

}  // namespace velmor
