// velmor-history: works with the recorded history of a unit. One subcommand
// per task; each takes the arguments after its name and returns the exit
// status.

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "DatabaseCommands.h"
#include "StatsCommand.h"

namespace {

using velmor::history::kExitBadInput;
using velmor::history::kExitFailure;
using velmor::history::kExitOk;

const char* const kUsage = R"(usage: velmor-history COMMAND [OPTIONS]

Commands:
    list [--db PATH]        list the units in the history database
    export [--db PATH] [--unit ID] [--from TIME] [--to TIME]
                            write recorded rows as CSV on standard output
    stats (--phase FILE | --frequency FILE) [--tau0 SECONDS]
          [--taus octave|decade|all|LIST] [--stats LIST] [--ci[=LEVEL]]
          [--remove-drift none|linear|mean]
                            frequency-stability table of a series
    stats --db PATH [--unit ID] [--from TIME] [--to TIME] [--settle S]
          [--all-states] [--taus ...]
                            the same for a unit's recorded 1PPS offset
    export --counter, stats --db PATH --counter [--channel A|B|A-B]
                            the reference counter recorded beside the unit

velmor-history COMMAND --help describes one command.
)";

struct CCommand {
    const char* m_szName;
    int (*m_pfnMain)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

constexpr CCommand kCommands[] = {
    {"list", velmor::history::ListMain},
    {"export", velmor::history::ExportMain},
    {"stats", velmor::history::StatsMain},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << kUsage;
        return kExitBadInput;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return kExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const CCommand& row : kCommands) {
        if (command == row.m_szName) {
            const int status = row.m_pfnMain(args, std::cout, std::cerr);
            std::cout.flush();
            return std::cout.good() || status != kExitOk ? status : kExitFailure;
        }
    }
    std::cerr << "velmor-history: unknown command '" << command << "'\n" << kUsage;
    return kExitBadInput;
}
