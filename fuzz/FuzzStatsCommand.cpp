// Whatever a user types after "velmor-history stats" and whatever the series
// file holds: the option parser (--stats, --ci=LEVEL, --remove-drift, --taus,
// --tau0), the series reader and the whole stability table must neither
// crash nor print a value the table cannot hold.
//
// Input: option words, one a line, then an empty line, then the file text.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "SeriesFile.h"
#include "StatsCommand.h"

using namespace velmor;
using namespace velmor::history;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = text.find("\n\n");
    std::vector<std::string> args;
    std::istringstream words(text.substr(0, split));
    for (std::string word; std::getline(words, word);) args.push_back(word);
    CStatsOptions options;
    std::string error;
    if (!ParseStatsOptions(args, options, error)) return 0;
    // "all" over a long series is quadratic by design: keep runs short.
    std::istringstream file(split == std::string::npos ? std::string() : text.substr(split + 2, 64 * 1024));
    std::vector<double> series;
    if (ReadSeries(file, "fuzz", series, error) != ReadResult::Ok) return 0;
    if (options.m_taus.m_spacing == TauSpacing::All && series.size() > 2000) series.resize(2000);
    // Huge multiples stay (they must come out empty), but not too many.
    if (options.m_taus.m_anMultiples.size() > 64) options.m_taus.m_anMultiples.resize(64);
    std::ostringstream out;
    std::ostringstream err;
    RunStats(std::vector<std::vector<double>>{series}, options.m_strFrequency.empty(), options.m_dTau0, options, out,
             err);
    // Each line has as many fields as the header.
    std::istringstream table(out.str());
    std::size_t fields = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.rfind("#", 0) == 0) continue;
        std::size_t count = 1;
        for (char c : line) count += c == ' ';
        if (fields == 0) fields = count;
        if (count != fields) __builtin_trap();
    }
    return 0;
}
