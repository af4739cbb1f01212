#pragma once
// velmor-history stats: the frequency-stability table of a phase or frequency
// series. The table is printed by RunStats, which takes the series itself, so
// every source of data (a file now, the history database later) shares it.

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

#include "stability/Analysis.h"
#include "stability/Stability.h"

namespace velmor::history {

// Exit statuses shared by the subcommands.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;   // a file cannot be opened, a feature is missing
constexpr int kExitBadInput = 2;  // bad usage or bad data

struct CStatsOptions {
    std::string m_strPhase;      // --phase FILE
    std::string m_strFrequency;  // --frequency FILE
    std::string m_strDb;         // --db PATH
    bool m_bDb = false;
    std::string m_strUnit;  // --unit ID, --from TIME, --to TIME (with --db)
    std::string m_strFrom;
    std::string m_strTo;
    int m_nSettleSeconds = 60;  // --settle S: locked this long counts as locked
    bool m_bAllStates = false;  // --all-states: every sample, locked or not
    double m_dTau0 = 1.0;
    CTauChoice m_taus;
    // --stats LIST, --ci[=LEVEL], --remove-drift MODEL: the table's contents.
    std::array<bool, kStatisticCount> m_abStatistics{true, true, true, true, false, false, false};
    bool m_bConfidence = false;
    double m_dConfidence = 0.683;
    DriftRemoval m_drift = DriftRemoval::None;
    bool m_bHelp = false;
    // --counter [--channel A|B|A-B] (with --db): the reference counter's phase.
    bool m_bCounter = false;
    std::string m_strCounterChannel;
    std::string m_strCounterDevice;  // --counter-device TEXT
};

// Fills |options| from the arguments after "stats"; false with a message in
// |error| for an unknown option, a missing or bad value, or a wrong mix.
bool ParseStatsOptions(const std::vector<std::string>& args, CStatsOptions& options, std::string& error);

// "octave", "decade", "all" or comma-separated positive multiples of tau0.
bool ParseTauChoice(const std::string& text, CTauChoice& taus, std::string& error);

// A comma list of statistic names (adev,mdev,tdev,hdev,totdev,tierms,mtie).
bool ParseStatisticList(const std::string& text, std::array<bool, kStatisticCount>& chosen, std::string& error);

// Prints the header "tau n adev mdev tdev hdev" and one line per averaging
// time: tau in seconds (%.10g), n the number of overlapping Allan terms, the
// deviations in %.6e, or "nan" where an estimator has too few points. The
// segments are contiguous pieces of one record (cut at gaps). Returns
// kExitBadInput, with a message on |err|, when no segment has enough points.
int RunStats(const std::vector<std::vector<double>>& segments, bool isPhase, double tau0,
             const CTauChoice& taus, std::ostream& out, std::ostream& err);
int RunStats(const std::vector<double>& series, bool isPhase, double tau0, const CTauChoice& taus,
             std::ostream& out, std::ostream& err);

// The table with the columns |options| choose (--stats, --ci, --remove-drift
// and --taus; the source options are ignored), as FormatAnalysisTable
// writes it:
//
//   [# drift removed: ...]
//   tau n [alpha] X [X_lo X_hi] ...
//
// one X per chosen statistic in the order adev mdev tdev hdev totdev tierms
// mtie; alpha and the bounds only with --ci (bounds not for tierms and
// mtie); the drift line only when a drift model other than none is given.
// TDEV, TIE rms and MTIE are in seconds.
int RunStats(const std::vector<std::vector<double>>& segments, bool isPhase, double tau0,
             const CStatsOptions& options, std::ostream& out, std::ostream& err);

// The whole subcommand: the arguments after "stats", the exit status.
int StatsMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

const char* StatsUsage();

}  // namespace velmor::history
