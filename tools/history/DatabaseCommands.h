#pragma once
// The subcommands that read the history database: list, export, and the
// database source of stats. They share the options --db, --unit, --from and
// --to and the rules for picking a unit.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace velmor {
class CHistoryQuery;
}

namespace velmor::history {

struct CStatsOptions;

struct CDatabaseOptions {
    std::string m_strDb;                  // empty: the database the recorder writes
    std::optional<std::int64_t> m_llUnit; // --unit ID
    std::optional<std::int64_t> m_llFromMs;
    std::optional<std::int64_t> m_llToMs;
    bool m_bHelp = false;
};

// Reads --db, and when |withRange| also --unit, --from and --to (as
// "--name value" or "--name=value"). False with a message in |error|.
bool ParseDatabaseOptions(const std::vector<std::string>& args, bool withRange, CDatabaseOptions& options,
                          std::string& error);

// Opens the database read-only; the exit status to return when it fails
// (with the message on |err|), kExitOk when open.
int OpenDatabase(const std::string& command, const std::string& path, CHistoryQuery& query, std::ostream& err);

// The unit the command works on: --unit when given (it must exist), else the
// only unit. The exit status on failure, with the message on |err|.
int ChooseUnit(const std::string& command, CHistoryQuery& query, const std::optional<std::int64_t>& wanted,
               std::int64_t& unitId, std::ostream& err);

int ListMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ExportMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// stats --db: the recorded 1PPS offset of one unit as phase (tau0 = 1 s, the
// recording interval), cut at gaps, link losses and restarts, and kept only
// where the unit was time-locked.
int StatsFromDatabase(const CStatsOptions& options, std::ostream& out, std::ostream& err);

}  // namespace velmor::history
