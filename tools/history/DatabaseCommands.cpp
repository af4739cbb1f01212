// What list, export and stats --db share: their options, opening the
// database, choosing the unit; and the stats source that reads the database.

#include "DatabaseCommands.h"

#include <limits>
#include <ostream>

#include "StatsCommand.h"
#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/HistoryTime.h"

namespace velmor::history {

namespace {

bool ParseTime(const std::string& name, const std::string& value, std::optional<std::int64_t>& ms, std::string& error)
{
    ms = ParseIsoUtc(value);
    if (!ms) error = name + " takes a UTC time like 2026-12-07T10:00:00Z, not '" + value + "'";
    return ms.has_value();
}

bool ParseUnit(const std::string& value, std::optional<std::int64_t>& unit, std::string& error)
{
    const auto id = ParseStrictInt(value);
    if (!id || *id <= 0) {
        error = "--unit takes a unit id as velmor-history list shows it, not '" + value + "'";
        return false;
    }
    unit = *id;
    return true;
}

}  // namespace

bool ParseDatabaseOptions(const std::vector<std::string>& args, bool withRange, CDatabaseOptions& options,
                          std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        const std::size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            options.m_bHelp = true;
            continue;
        }
        const bool known = name == "--db" || (withRange && (name == "--unit" || name == "--from" || name == "--to"));
        if (!known) {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (value.empty()) {
            error = name + " needs a value";
            return false;
        }
        if (name == "--db") options.m_strDb = value;
        else if (name == "--unit" && !ParseUnit(value, options.m_llUnit, error)) return false;
        else if (name == "--from" && !ParseTime(name, value, options.m_llFromMs, error)) return false;
        else if (name == "--to" && !ParseTime(name, value, options.m_llToMs, error)) return false;
    }
    if (options.m_llFromMs && options.m_llToMs && *options.m_llToMs <= *options.m_llFromMs) {
        error = "--to must be later than --from";
        return false;
    }
    return true;
}

int OpenDatabase(const std::string& command, const std::string& path, CHistoryQuery& query, std::ostream& err)
{
    std::string error;
    if (query.Open(path.empty() ? DefaultHistoryPath() : path, error)) return kExitOk;
    err << "velmor-history " << command << ": " << error << '\n';
    return kExitFailure;
}

int ChooseUnit(const std::string& command, CHistoryQuery& query, const std::optional<std::int64_t>& wanted,
               std::int64_t& unitId, std::ostream& err)
{
    const std::vector<CHistoryUnit> units = query.ListUnits();
    if (wanted) {
        for (const CHistoryUnit& unit : units) {
            if (unit.m_llId == *wanted) {
                unitId = unit.m_llId;
                return kExitOk;
            }
        }
        err << "velmor-history " << command << ": no unit with id " << *wanted
            << " in the database (velmor-history list shows the ids)\n";
        return kExitBadInput;
    }
    if (units.size() == 1) {
        unitId = units[0].m_llId;
        return kExitOk;
    }
    if (units.empty()) {
        err << "velmor-history " << command << ": the database holds no recorded unit yet\n";
        return kExitFailure;
    }
    err << "velmor-history " << command << ": the database holds " << units.size()
        << " units; choose one with --unit ID (velmor-history list shows the ids)\n";
    return kExitBadInput;
}

int StatsFromDatabase(const CStatsOptions& options, std::ostream& out, std::ostream& err)
{
    CDatabaseOptions db;
    db.m_strDb = options.m_strDb;
    std::string error;
    if ((!options.m_strUnit.empty() && !ParseUnit(options.m_strUnit, db.m_llUnit, error)) ||
        (!options.m_strFrom.empty() && !ParseTime("--from", options.m_strFrom, db.m_llFromMs, error)) ||
        (!options.m_strTo.empty() && !ParseTime("--to", options.m_strTo, db.m_llToMs, error))) {
        err << "velmor-history stats: " << error << '\n';
        return kExitBadInput;
    }
    CHistoryQuery query;
    int status = OpenDatabase("stats", db.m_strDb, query, err);
    if (status != kExitOk) return status;
    std::int64_t unitId = 0;
    status = ChooseUnit("stats", query, db.m_llUnit, unitId, err);
    if (status != kExitOk) return status;

    const auto phase = query.ReadPhase(unitId, db.m_llFromMs.value_or(std::numeric_limits<std::int64_t>::min()),
                                       db.m_llToMs.value_or(std::numeric_limits<std::int64_t>::max()),
                                       options.m_nSettleSeconds);
    // Only settled time-locked runs measure the disciplined oscillator
    // (unless every state is asked for); a term must not straddle a missing
    // second, a link loss or a restart.
    std::vector<std::vector<double>> segments;
    bool open = false;
    std::size_t samples = 0;
    for (const CPhaseSample& p : phase) {
        if (!options.m_bAllStates && !p.m_bLocked) {
            open = false;
            continue;
        }
        if (!open || p.m_bSegmentStart) segments.emplace_back();
        open = true;
        segments.back().push_back(p.m_dPhaseSeconds);
        ++samples;
    }
    if (samples < 3) {
        err << "velmor-history stats: " << samples
            << (options.m_bAllStates ? " 1PPS samples" : " settled time-locked 1PPS samples")
            << " recorded in that range; at least 3 in one run are needed\n";
        return kExitBadInput;
    }
    return RunStats(segments, true, 1.0, options, out, err);
}

}  // namespace velmor::history
