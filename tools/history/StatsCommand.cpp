#include "StatsCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string_view>
#include <system_error>

#include "CounterCommands.h"
#include "DatabaseCommands.h"
#include "SeriesFile.h"
#include "text/Numbers.h"

namespace velmor::history {

namespace {

constexpr const char* kStatsUsage = R"(usage: velmor-history stats (--phase FILE | --frequency FILE) [--tau0 SECONDS]
                            [--taus octave|decade|all|LIST] [--stats LIST]
                            [--ci[=LEVEL]] [--remove-drift none|linear|mean]
       velmor-history stats --db PATH [--counter [--channel A|B|A-B]] [--unit ID]
                            [--from TIME] [--to TIME] [--settle SECONDS] [--all-states]
                            [the same --taus, --stats, --ci, --remove-drift]

Prints frequency-stability statistics of a series, one line per averaging
time tau. By default the overlapping Allan, modified Allan, time and
overlapping Hadamard deviations:

    tau n adev mdev tdev hdev

tau in seconds, n the number of overlapping Allan terms, the values in
%.6e, or "nan" where an estimator has too few points (the Hadamard deviation
needs 3m+1 phase points, the modified and time deviations 3m, for tau = m
tau0).

    --phase FILE       phase (time error) in seconds, one number per line
    --frequency FILE   fractional frequency, one number per line
    --tau0 SECONDS     the sample interval (default 1)
    --db PATH          the recorded 1PPS offset of a unit in the history
                       database, as phase with tau0 1 s, each sample on the
                       unit's own second; runs are cut wherever a second is
                       missing, and at link losses and restarts
    --counter          with --db: the reference counter's phase recorded beside
                       the unit instead, cut at its slips and gaps
    --channel A|B|A-B  which of the counter's series (default A-B)
    --counter-device TEXT  which counter, when several were recorded
    --unit ID          the unit (needed when the database holds several)
    --from, --to TIME  the range, UTC (2026-12-07T10:00:00Z); from inclusive,
                       to exclusive
    --settle SECONDS   only samples after the unit has been time-locked
                       without a break for this long count (default 60;
                       0: every locked sample)
    --all-states       every sample counts, locked or not
    --taus octave      tau = 1, 2, 4, 8 ... times tau0 up to a quarter of the
                       data (the default)
    --taus decade      tau = 1, 2, 5, 10, 20, 50 ... times tau0, likewise
    --taus all         every multiple of tau0 any chosen statistic allows
                       (each costs a pass over the data: slow on long series)
    --taus LIST        comma-separated multiples of tau0, e.g. 1,10,100
    --stats LIST       comma-separated, from adev, mdev, tdev, hdev, totdev
                       (total deviation), tierms (rms time-interval error,
                       seconds) and mtie (maximum time-interval error over
                       windows of m+1 points, seconds); default
                       adev,mdev,tdev,hdev. Columns keep that order.
    --ci[=LEVEL]       adds the noise type after n, as the integer alpha of
                       S_y(f) ~ f^alpha (2 white PM, 1 flicker PM, 0 white FM,
                       -1 flicker FM, -2 random-walk FM), and after each
                       deviation X its confidence bounds X_lo X_hi from the
                       estimator's equivalent degrees of freedom and the
                       chi-squared distribution; LEVEL between 0 and 1,
                       default 0.683
    --remove-drift none|linear|mean
                       before any statistic: nothing (the default); a line
                       fitted to frequency (a quadratic to phase); or the
                       mean frequency taken out of phase. A line
                       "# drift removed: ..." then precedes the table.

Blank lines and lines starting with '#' are skipped; FILE "-" is standard
input. Exit status 0 on success, 1 when FILE cannot be read, 2 for a usage
error or bad data (fewer than 3 numbers, or a line that is not a number).
)";

bool ParsePositiveNumber(const std::string& text, double& value)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    value = std::strtod(begin, &end);
    // A subnormal interval (below about 2.2e-308 s) has lost its precision
    // and squares to zero: refused like a negative one.
    return !text.empty() && end == begin + text.size() && std::isnormal(value) && value > 0.0;
}

}  // namespace

const char* StatsUsage()
{
    return kStatsUsage;
}

bool ParseTauChoice(const std::string& text, CTauChoice& taus, std::string& error)
{
    if (text == "octave" || text == "decade" || text == "all") {
        taus = CTauChoice{text == "octave"   ? TauSpacing::Octave
                          : text == "decade" ? TauSpacing::Decade
                                             : TauSpacing::All,
                          {}};
        return true;
    }
    CTauChoice list{TauSpacing::List, {}};
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        std::size_t m = 0;
        const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), m);
        if (item.empty() || ec != std::errc() || end != item.data() + item.size() || m == 0) {
            error = "--taus takes octave, decade, all or positive whole multiples of tau0 such as 1,10,100, not '"
                    + text + "'";
            return false;
        }
        list.m_anMultiples.push_back(m);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    taus = list;
    return true;
}

bool ParseStatisticList(const std::string& text, std::array<bool, kStatisticCount>& chosen, std::string& error)
{
    std::array<bool, kStatisticCount> list{};
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        bool known = false;
        for (std::size_t s = 0; s < kStatisticCount; ++s) {
            if (item == StatisticName(Statistic(s))) {
                list[s] = true;
                known = true;
            }
        }
        if (!known) {
            error = "--stats takes a comma list from adev,mdev,tdev,hdev,totdev,tierms,mtie, not '" + text + "'";
            return false;
        }
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    chosen = list;
    return true;
}

bool ParseStatsOptions(const std::vector<std::string>& args, CStatsOptions& options, std::string& error)
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
        if (name == "--counter" && !hasValue) {
            options.m_bCounter = true;
            continue;
        }
        if (name == "--ci") {
            // The level only as --ci=LEVEL, so that --ci never swallows the
            // next option.
            options.m_bConfidence = true;
            if (hasValue && !(ParsePositiveNumber(value, options.m_dConfidence) && options.m_dConfidence < 1.0)) {
                error = "--ci takes a confidence level between 0 and 1 (--ci=0.95), not '" + value + "'";
                return false;
            }
            continue;
        }
        if (name == "--all-states" && !hasValue) {
            options.m_bAllStates = true;
            continue;
        }
        const bool takesValue = name == "--phase" || name == "--frequency" || name == "--tau0"
                                || name == "--taus" || name == "--db" || name == "--unit"
                                || name == "--from" || name == "--to" || name == "--stats"
                                || name == "--remove-drift" || name == "--channel"
                                || name == "--counter-device" || name == "--settle";
        if (!takesValue) {
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
        if (name == "--counter-device") {
            options.m_strCounterDevice = value;
        } else if (name == "--channel") {
            if (value != "A" && value != "B" && value != "A-B") {
                error = "--channel takes A, B or A-B, not '" + value + "'";
                return false;
            }
            options.m_strCounterChannel = value;
        } else if (name == "--phase") {
            options.m_strPhase = value;
        } else if (name == "--frequency") {
            options.m_strFrequency = value;
        } else if (name == "--db") {
            options.m_strDb = value;
            options.m_bDb = true;
        } else if (name == "--unit") {
            options.m_strUnit = value;
        } else if (name == "--from") {
            options.m_strFrom = value;
        } else if (name == "--to") {
            options.m_strTo = value;
        } else if (name == "--settle") {
            const auto seconds = ParseStrictInt(value);
            if (!seconds || *seconds < 0 || *seconds > 86400 * 366) {
                error = "--settle takes a whole number of seconds from 0 up, not '" + value + "'";
                return false;
            }
            options.m_nSettleSeconds = static_cast<int>(*seconds);
        } else if (name == "--tau0") {
            if (!ParsePositiveNumber(value, options.m_dTau0)) {
                error = "--tau0 takes a positive, finite, normal number of seconds, not '" + value + "'";
                return false;
            }
        } else if (name == "--stats") {
            if (!ParseStatisticList(value, options.m_abStatistics, error)) return false;
        } else if (name == "--remove-drift") {
            if (value == "none") {
                options.m_drift = DriftRemoval::None;
            } else if (value == "linear") {
                options.m_drift = DriftRemoval::Linear;
            } else if (value == "mean") {
                options.m_drift = DriftRemoval::Mean;
            } else {
                error = "--remove-drift takes none, linear or mean, not '" + value + "'";
                return false;
            }
        } else if (!ParseTauChoice(value, options.m_taus, error)) {
            return false;
        }
    }
    if (options.m_bHelp) return true;
    const int sources = !options.m_strPhase.empty() + !options.m_strFrequency.empty() + options.m_bDb;
    if (sources != 1) {
        error = sources == 0 ? "give --phase FILE or --frequency FILE"
                             : "give only one of --phase, --frequency and --db";
        return false;
    }
    const bool settleGiven = std::find_if(args.begin(), args.end(), [](const std::string& a) {
                                 return a == "--settle" || a.rfind("--settle=", 0) == 0;
                             }) != args.end();
    if (!options.m_bDb && (!options.m_strUnit.empty() || !options.m_strFrom.empty() || !options.m_strTo.empty() ||
                           settleGiven || options.m_bAllStates)) {
        error = "--unit, --from, --to, --settle and --all-states go with --db";
        return false;
    }
    if ((options.m_bCounter || !options.m_strCounterChannel.empty() || !options.m_strCounterDevice.empty()) &&
        !options.m_bDb) {
        error = "--counter and --channel go with --db";
        return false;
    }
    if ((!options.m_strCounterChannel.empty() || !options.m_strCounterDevice.empty()) && !options.m_bCounter) {
        error = "--channel and --counter-device go with --counter";
        return false;
    }
    return true;
}

int RunStats(const std::vector<std::vector<double>>& segments, bool isPhase, double tau0,
             const CTauChoice& taus, std::ostream& out, std::ostream& err)
{
    CStatsOptions options;
    options.m_taus = taus;
    return RunStats(segments, isPhase, tau0, options, out, err);
}

int RunStats(const std::vector<std::vector<double>>& segments, bool isPhase, double tau0,
             const CStatsOptions& options, std::ostream& out, std::ostream& err)
{
    CAnalysisRequest request;
    request.m_kind = isPhase ? SeriesKind::Phase : SeriesKind::Frequency;
    request.m_dTau0 = tau0;
    request.m_taus = options.m_taus;
    request.m_abStatistics = options.m_abStatistics;
    request.m_bConfidence = options.m_bConfidence;
    request.m_dConfidence = options.m_dConfidence;
    request.m_drift = options.m_drift;
    const std::vector<std::span<const double>> pieces(segments.begin(), segments.end());
    const CAnalysis analysis = Analyse(pieces, request);
    if (analysis.m_rows.empty()) {
        err << "velmor-history stats: too few points: a segment of at least 3 values is needed\n";
        return kExitBadInput;
    }
    out << FormatAnalysisTable(analysis, request);
    return out.good() ? kExitOk : kExitFailure;
}

int RunStats(const std::vector<double>& series, bool isPhase, double tau0, const CTauChoice& taus,
             std::ostream& out, std::ostream& err)
{
    if (series.size() < 3) {
        err << "velmor-history stats: " << series.size() << " values; at least 3 are needed\n";
        return kExitBadInput;
    }
    return RunStats(std::vector<std::vector<double>>{series}, isPhase, tau0, taus, out, err);
}

int StatsMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    CStatsOptions options;
    std::string error;
    if (!ParseStatsOptions(args, options, error)) {
        err << "velmor-history stats: " << error << "\n(see velmor-history stats --help)\n";
        return kExitBadInput;
    }
    if (options.m_bHelp) {
        out << kStatsUsage;
        return kExitOk;
    }
    if (options.m_bDb && options.m_bCounter) return CounterStatsFromDatabase(options, out, err);
    if (options.m_bDb) return StatsFromDatabase(options, out, err);
    const bool isPhase = !options.m_strPhase.empty();
    const std::string& path = isPhase ? options.m_strPhase : options.m_strFrequency;
    std::vector<double> series;
    switch (ReadSeriesFile(path, series, error)) {
    case ReadResult::Ok:
        break;
    case ReadResult::CannotOpen:
        err << "velmor-history stats: " << error << '\n';
        return kExitFailure;
    case ReadResult::BadText:
        err << "velmor-history stats: " << error << '\n';
        return kExitBadInput;
    }
    const std::string name = path == "-" ? "standard input" : path;
    if (series.empty()) {
        err << "velmor-history stats: " << name << ": no numbers\n";
        return kExitBadInput;
    }
    if (series.size() < 3) {
        err << "velmor-history stats: " << name << ": only " << series.size()
            << (series.size() == 1 ? " number" : " numbers") << "; at least 3 are needed\n";
        return kExitBadInput;
    }
    return RunStats(std::vector<std::vector<double>>{series}, isPhase, options.m_dTau0, options, out, err);
}

}  // namespace velmor::history
