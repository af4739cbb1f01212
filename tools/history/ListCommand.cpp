// velmor-history list: the units in the history database, one line each.

#include <ostream>

#include "DatabaseCommands.h"
#include "StatsCommand.h"
#include "history/HistoryQuery.h"
#include "history/HistoryTime.h"

namespace velmor::history {

namespace {

const char* const kListUsage = R"(usage: velmor-history list [--db PATH]

Lists the units in the history database: one line per unit with its id,
part number, device, first and last row (UTC) and row count, separated by
tabs. Without --db, the database the program records into.
)";

}  // namespace

int ListMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    CDatabaseOptions options;
    std::string error;
    if (!ParseDatabaseOptions(args, false, options, error)) {
        err << "velmor-history list: " << error << "\n(see velmor-history list --help)\n";
        return kExitBadInput;
    }
    if (options.m_bHelp) {
        out << kListUsage;
        return kExitOk;
    }
    CHistoryQuery query;
    const int status = OpenDatabase("list", options.m_strDb, query, err);
    if (status != kExitOk) return status;
    const std::vector<CHistoryUnit> units = query.ListUnits();
    if (!query.LastError().empty()) {
        err << "velmor-history list: " << query.LastError() << '\n';
        return kExitFailure;
    }
    out << "id\tpart_number\tdevice\tfirst_row\tlast_row\trows\n";
    for (const CHistoryUnit& unit : units) {
        out << unit.m_llId << '\t' << (unit.m_strPartNumber.empty() ? "-" : unit.m_strPartNumber) << '\t'
            << (unit.m_strDevice.empty() ? "-" : unit.m_strDevice) << '\t'
            << (unit.m_llFirstMs ? FormatIsoUtcSeconds(*unit.m_llFirstMs) : "-") << '\t'
            << (unit.m_llLastMs ? FormatIsoUtcSeconds(*unit.m_llLastMs) : "-") << '\t' << unit.m_llRowCount << '\n';
    }
    return kExitOk;
}

}  // namespace velmor::history
