#pragma once
// The reference counter's rows in the history database: export --counter
// (each sample beside the unit row it joined) and stats --counter (the
// statistics on the counter's phase).

#include <iosfwd>
#include <string>
#include <vector>

namespace velmor::history {

struct CStatsOptions;

// The arguments of export that contained --counter; the exit status.
int ExportCounterMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// stats --db ... --counter [--channel A|B|A-B].
int CounterStatsFromDatabase(const CStatsOptions& options, std::ostream& out, std::ostream& err);

// True when |args| hold the flag --counter (export's switch to the
// counter's rows).
bool HasCounterFlag(const std::vector<std::string>& args);

}  // namespace velmor::history
