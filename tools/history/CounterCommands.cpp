#include "CounterCommands.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <ostream>

#include "DatabaseCommands.h"
#include "StatsCommand.h"
#include "counter/CounterHistory.h"
#include "history/HistoryQuery.h"
#include "history/HistorySchema.h"
#include "history/HistoryStore.h"
#include "history/HistoryTime.h"
#include "history/Sqlite.h"

namespace velmor::history {

namespace {

const char* const kExportCounterUsage =
    R"(usage: velmor-history export --counter [--channel A|B|A-B] [--counter-device TEXT]
                             [--db PATH] [--unit ID] [--from TIME] [--to TIME]

Writes the reference counter's samples recorded beside one unit as CSV,
oldest first, each next to the unit row it joined (the unit row whose time
report arrived nearest to the sample, within half a second):

    time_utc,channel,timestamp_s,phase_s,pps_offset_ns,dac,temperature_c,
    discipline_state,satellites_tracked,satellites_used

time_utc is the host's time of the sample; channel A, B or A-B (all three
unless --channel picks one); timestamp_s the counter's number as received
(chA's for A-B); phase_s the exact phase in seconds. The unit columns are
empty where no unit row joins. --counter-device names the counter when more
than one was recorded beside the unit.
)";

const char* const kHeader =
    "time_utc,channel,timestamp_s,phase_s,pps_offset_ns,dac,temperature_c,discipline_state,satellites_tracked,"
    "satellites_used\n";

// Picoseconds as exact decimal seconds.
std::string FormatPhase(std::int64_t ps)
{
    const bool negative = ps < 0;
    // The magnitude in unsigned arithmetic: INT64_MIN has no positive twin.
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(ps) : static_cast<std::uint64_t>(ps);
    char text[48];
    std::snprintf(text, sizeof text, "%s%llu.%012llu", negative ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 1000000000000ULL),
                  static_cast<unsigned long long>(magnitude % 1000000000000ULL));
    return text;
}

void AppendText(std::string& line, std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += text;
        return;
    }
    line += '"';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

struct CCounterQueryOptions {
    CDatabaseOptions m_db;
    std::string m_strChannel;  // empty: every channel
    std::string m_strCounter;  // --counter-device; empty: the only one
};

// The unit's id and device text, its counter's device text, and the
// database opened for the counter's rows. The exit status.
int OpenCounterRows(const std::string& command, const CCounterQueryOptions& options, std::int64_t& unitId,
                    std::string& device, std::string& counter, CSqliteDb& db, std::ostream& err)
{
    CHistoryQuery query;
    int status = OpenDatabase(command, options.m_db.m_strDb, query, err);
    if (status != kExitOk) return status;
    status = ChooseUnit(command, query, options.m_db.m_llUnit, unitId, err);
    if (status != kExitOk) return status;
    for (const CHistoryUnit& unit : query.ListUnits())
        if (unit.m_llId == unitId) device = unit.m_strDevice;
    const std::string path = options.m_db.m_strDb.empty() ? DefaultHistoryPath() : options.m_db.m_strDb;
    if (db.Open(path, SQLITE_OPEN_READONLY) != SQLITE_OK) {
        err << "velmor-history " << command << ": cannot open " << path << ": " << db.ErrorText() << '\n';
        return kExitFailure;
    }
    CSqliteStatement table;
    if (table.Prepare(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'counter_samples'") !=
            SQLITE_OK ||
        table.Step() != SQLITE_ROW) {
        err << "velmor-history " << command << ": the database holds no reference counter samples\n";
        return kExitFailure;
    }
    // The samples of one counter: the only one beside the unit, or the one named.
    CSqliteStatement counters;
    if (counters.Prepare(db, "SELECT DISTINCT counter_device FROM counter_samples WHERE unit_device = ?1"
                             " ORDER BY counter_device") != SQLITE_OK) {
        err << "velmor-history " << command << ": reading the database failed: " << db.ErrorText() << '\n';
        return kExitFailure;
    }
    counters.Bind(1, std::string_view(device));
    std::vector<std::string> names;
    while (counters.Step() == SQLITE_ROW) names.push_back(counters.Text(0));
    if (!options.m_strCounter.empty()) {
        if (std::find(names.begin(), names.end(), options.m_strCounter) != names.end()) {
            counter = options.m_strCounter;
            return kExitOk;
        }
        err << "velmor-history " << command << ": no counter " << options.m_strCounter << " beside unit " << unitId
            << '\n';
        return kExitBadInput;
    }
    if (names.size() > 1) {
        err << "velmor-history " << command << ": " << names.size() << " counters beside unit " << unitId
            << "; choose one with --counter-device:";
        for (const std::string& name : names) err << ' ' << name;
        err << '\n';
        return kExitBadInput;
    }
    counter = names.empty() ? std::string() : names.front();
    return kExitOk;
}

bool IsChannel(const std::string& text) { return text == "A" || text == "B" || text == "A-B"; }

// Takes --counter and --channel out of |args| into |channel|; false with a
// message for a bad channel.
bool TakeCounterOptions(std::vector<std::string>& args, std::string& channel, std::string& counter,
                        std::string& error)
{
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--counter") continue;
        if (args[i] == "--counter-device" || args[i].rfind("--counter-device=", 0) == 0) {
            if (args[i].size() > 16) {
                counter = args[i].substr(17);
            } else if (i + 1 < args.size()) {
                counter = args[++i];
            } else {
                error = "--counter-device needs a value";
                return false;
            }
            continue;
        }
        std::string value;
        if (args[i] == "--channel") {
            if (i + 1 >= args.size()) {
                error = "--channel needs a value";
                return false;
            }
            value = args[++i];
        } else if (args[i].rfind("--channel=", 0) == 0) {
            value = args[i].substr(10);
        } else {
            rest.push_back(args[i]);
            continue;
        }
        if (!IsChannel(value)) {
            error = "--channel takes A, B or A-B, not '" + value + "'";
            return false;
        }
        channel = value;
    }
    args = std::move(rest);
    return true;
}

}  // namespace

bool HasCounterFlag(const std::vector<std::string>& args)
{
    for (const std::string& arg : args)
        if (arg == "--counter") return true;
    return false;
}

int ExportCounterMain(const std::vector<std::string>& rawArgs, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> args = rawArgs;
    CCounterQueryOptions options;
    std::string error;
    if (!TakeCounterOptions(args, options.m_strChannel, options.m_strCounter, error) ||
        !ParseDatabaseOptions(args, true, options.m_db, error)) {
        err << "velmor-history export: " << error << "\n(see velmor-history export --counter --help)\n";
        return kExitBadInput;
    }
    if (options.m_db.m_bHelp) {
        out << kExportCounterUsage;
        return kExitOk;
    }
    std::int64_t unitId = 0;
    std::string device, counter;
    CSqliteDb db;
    int status = OpenCounterRows("export", options, unitId, device, counter, db, err);
    if (status != kExitOk) return status;

    CSqliteStatement rows;
    // One unit row per sample even if a recorder wrote two in one
    // millisecond: the first.
    const std::string sql =
        "SELECT c.host_ms, c.channel, c.text, c.phase_ps, r.pps_offset_ns, r.dac, r.temperature_c,"
        " r.discipline_state, r.satellites_tracked, r.satellites_used"
        " FROM counter_samples c LEFT JOIN readings r ON r.rowid = (SELECT rowid FROM readings"
        " WHERE unit_id = ?1 AND host_ms = c.unit_host_ms ORDER BY rowid LIMIT 1)"
        " WHERE c.unit_device = ?2 AND c.counter_device = ?6 AND c.host_ms >= ?3 AND c.host_ms < ?4" +
        std::string(options.m_strChannel.empty() ? "" : " AND c.channel = ?5") + " ORDER BY c.host_ms, c.id";
    if (rows.Prepare(db, sql) != SQLITE_OK) {
        err << "velmor-history export: reading the database failed: " << db.ErrorText() << '\n';
        return kExitFailure;
    }
    rows.Bind(1, unitId);
    rows.Bind(2, std::string_view(device));
    rows.Bind(3, options.m_db.m_llFromMs.value_or(std::numeric_limits<std::int64_t>::min()));
    rows.Bind(4, options.m_db.m_llToMs.value_or(std::numeric_limits<std::int64_t>::max()));
    if (!options.m_strChannel.empty()) rows.Bind(5, std::string_view(options.m_strChannel));
    rows.Bind(6, std::string_view(counter));

    out << kHeader;
    std::string line;
    int rc = SQLITE_ROW;
    while (out.good() && (rc = rows.Step()) == SQLITE_ROW) {
        line = FormatIsoUtcMs(rows.Int(0));
        line += ',';
        AppendText(line, rows.Text(1));
        line += ',';
        AppendText(line, rows.Text(2));
        line += ',';
        line += FormatPhase(rows.Int(3));
        for (int column = 4; column <= 9; ++column) {
            line += ',';
            if (rows.IsNull(column)) continue;
            // The readings' REAL columns as the unit export prints them.
            if (column <= 6) line += FormatDouble(rows.Double(column));
            else line += std::to_string(rows.Int(column));
        }
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        err << "velmor-history export: reading the database failed: " << db.ErrorText() << '\n';
        return kExitFailure;
    }
    return out.good() ? kExitOk : kExitFailure;
}

int CounterStatsFromDatabase(const CStatsOptions& options, std::ostream& out, std::ostream& err)
{
    CCounterQueryOptions query;
    query.m_db.m_strDb = options.m_strDb;
    std::vector<std::string> range;
    if (!options.m_strUnit.empty()) range.insert(range.end(), {"--unit", options.m_strUnit});
    if (!options.m_strFrom.empty()) range.insert(range.end(), {"--from", options.m_strFrom});
    if (!options.m_strTo.empty()) range.insert(range.end(), {"--to", options.m_strTo});
    std::string error;
    if (!ParseDatabaseOptions(range, true, query.m_db, error)) {
        err << "velmor-history stats: " << error << '\n';
        return kExitBadInput;
    }
    query.m_strChannel = options.m_strCounterChannel.empty() ? "A-B" : options.m_strCounterChannel;
    query.m_strCounter = options.m_strCounterDevice;
    std::int64_t unitId = 0;
    std::string device, counter;
    CSqliteDb db;
    int status = OpenCounterRows("stats", query, unitId, device, counter, db, err);
    if (status != kExitOk) return status;

    CSqliteStatement rows;
    if (rows.Prepare(db, "SELECT phase_ps, segment_start FROM counter_samples WHERE unit_device = ?1 AND"
                         " counter_device = ?5 AND channel = ?2 AND host_ms >= ?3 AND host_ms < ?4"
                         " ORDER BY host_ms, id") != SQLITE_OK) {
        err << "velmor-history stats: reading the database failed: " << db.ErrorText() << '\n';
        return kExitFailure;
    }
    rows.Bind(1, std::string_view(device));
    rows.Bind(2, std::string_view(query.m_strChannel));
    rows.Bind(3, query.m_db.m_llFromMs.value_or(std::numeric_limits<std::int64_t>::min()));
    rows.Bind(4, query.m_db.m_llToMs.value_or(std::numeric_limits<std::int64_t>::max()));
    rows.Bind(5, std::string_view(counter));
    // Slips, gaps and restarts of the counter cut the record; nothing
    // bridges them.
    std::vector<std::vector<double>> segments;
    std::size_t samples = 0;
    while (rows.Step() == SQLITE_ROW) {
        if (segments.empty() || rows.Int(1) != 0) segments.emplace_back();
        segments.back().push_back(static_cast<double>(rows.Int(0)) * 1e-12);
        ++samples;
    }
    if (samples < 3) {
        err << "velmor-history stats: " << samples << " counter samples of channel " << query.m_strChannel
            << " recorded in that range; at least 3 in one run are needed\n";
        return kExitBadInput;
    }
    return RunStats(segments, true, options.m_dTau0, options, out, err);
}

}  // namespace velmor::history
