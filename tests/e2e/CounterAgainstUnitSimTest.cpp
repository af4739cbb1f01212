// A simulated unit and its simulated counter, started with one command,
// recorded by velmor-monitor into one database: the counter's rows are
// there, each A-B phase is the model's true phase within the counter's
// noise, each joined unit column is the unit row nearest in host time, and
// the counter's ADEV(1 s) is the true oscillator's plus the counter noise,
// far below the unit's own report.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "e2e/UnitSimSession.h"
#include "history/HistoryTime.h"

namespace velmor {
namespace {

std::string RunHistory(const std::string& args, int& status)
{
    const std::string command = std::string(VELMOR_HISTORY_PATH) + " " + args + " 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int result = ::pclose(pipe);
    status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

std::vector<std::string> Fields(const std::string& line, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!line.empty() && line.back() == separator) parts.emplace_back();
    return parts;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<double> ReadTruth(const std::string& path)
{
    std::vector<double> phase;
    std::ifstream in(path);
    long long second = 0;
    double value = 0;
    while (in >> second >> value) phase.push_back(value);
    return phase;
}

// The overlapping Allan deviation at tau0 of a phase record.
double Adev1(const std::vector<double>& x)
{
    double sum = 0;
    for (std::size_t i = 0; i + 2 < x.size(); ++i) {
        const double d = x[i + 2] - 2 * x[i + 1] + x[i];
        sum += d * d;
    }
    return std::sqrt(sum / (2.0 * static_cast<double>(x.size() - 2)));
}

class CMonitor {
public:
    bool Start(const std::vector<std::string>& args, const std::string& logPath)
    {
        m_pid = ::fork();
        if (m_pid < 0) return false;
        if (m_pid == 0) {
            if (!std::freopen(logPath.c_str(), "w", stderr)) ::_exit(126);
            std::vector<char*> argv;
            std::string path = VELMOR_MONITOR_PATH;
            argv.push_back(path.data());
            std::vector<std::string> copy = args;
            for (auto& arg : copy) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        return true;
    }
    // SIGTERM, then the exit status once it has written its last rows.
    int Stop()
    {
        if (m_pid <= 0) return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~CMonitor()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
};

TEST(CounterAgainstUnitSim, OneDatabaseJoinedSecondBySecondAndTheCounterSeesTheTrueOscillator)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-counter-e2e-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string unitLink = (dir / "unit").string(), counterLink = (dir / "counter").string();
    const std::string truthPath = (dir / "truth.txt").string(), db = (dir / "history.sqlite3").string();
    constexpr double kNoisePs = 60;
    // Four unit seconds a real second: the counter's lines and the unit's
    // time reports still leave the simulator together, so the join holds.
    e2e::CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--link", unitLink, "--counter", counterLink, "--truth", truthPath, "--state", "1",
                           "--warmup", "0", "--speed", "4", "--quiet"}));
    CMonitor monitor;
    ASSERT_TRUE(monitor.Start({"--device", unitLink, "--counter", counterLink, "--db", db, "--listen", "none"},
                              (dir / "monitor.log").string()));
    // 160 of the unit's seconds (about 40 s); the deadline is for a loaded machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    while (ReadTruth(truthPath).size() < 160 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(monitor.Stop(), 0);
    sim.Stop();
    const std::vector<double> truth = ReadTruth(truthPath);
    ASSERT_GE(truth.size(), 160u);

    int status = -1;
    const std::string exported = RunHistory("export --counter --db '" + db + "'", status);
    ASSERT_EQ(status, 0) << exported;
    const std::vector<std::string> rows = Lines(exported);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "time_utc,channel,timestamp_s,phase_s,pps_offset_ns,dac,temperature_c,discipline_state,"
                       "satellites_tracked,satellites_used");

    // The unit's own rows, by host time, to check each join against.
    const std::string unitExport = RunHistory("export --db '" + db + "'", status);
    ASSERT_EQ(status, 0) << unitExport;
    std::map<std::int64_t, std::string> unitOffsetByMs;
    {
        const std::vector<std::string> unitRows = Lines(unitExport);
        const std::vector<std::string> header = Fields(unitRows.at(0), ',');
        const auto column = std::find(header.begin(), header.end(), "pps_offset_ns") - header.begin();
        for (std::size_t i = 1; i < unitRows.size(); ++i) {
            const std::vector<std::string> f = Fields(unitRows[i], ',');
            if (f.at(3).empty()) continue;  // no time report: not a row a sample joins
            unitOffsetByMs[*ParseIsoUtc(f[0])] = f.at(static_cast<std::size_t>(column));
        }
    }

    std::size_t pairs = 0, joined = 0;
    double worstPs = 0;
    std::vector<double> truthSeen;
    std::set<std::size_t> seconds;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string> f = Fields(rows[i], ',');
        ASSERT_EQ(f.size(), 10u) << rows[i];
        if (f[1] != "A-B") continue;
        ++pairs;
        // The counter's seconds count the unit's seconds from 1.
        const std::size_t second = static_cast<std::size_t>(std::stoll(f[2]));
        EXPECT_TRUE(seconds.insert(second).second) << "second " << second << " twice: " << rows[i];
        ASSERT_GE(second, 1u);
        ASSERT_LE(second, truth.size());
        const double errorPs = std::fabs(std::stod(f[3]) - truth[second - 1]) * 1e12;
        worstPs = std::max(worstPs, errorPs);
        truthSeen.push_back(truth[second - 1]);
        if (f[4].empty()) continue;
        ++joined;
        // The unit row nearest in host time is the one joined. Rows whose
        // reports came in one read are a few ms apart and equally near by
        // the ticks the join uses: any of them will do.
        const std::int64_t at = *ParseIsoUtc(f[0]);
        std::int64_t best = 501;
        for (const auto& [ms, offset] : unitOffsetByMs) best = std::min<std::int64_t>(best, std::llabs(ms - at));
        EXPECT_LE(best, 500) << rows[i];
        bool found = false;
        for (const auto& [ms, offset] : unitOffsetByMs)
            found = found || (std::llabs(ms - at) <= best + 20 && offset == f[4]);
        EXPECT_TRUE(found) << rows[i];
        EXPECT_EQ(f[7], "1") << rows[i];
    }
    // Every second of the run made a pair (none lost, none doubled), and
    // all but the first few (before the unit's first report) joined.
    EXPECT_GE(pairs, 120u);
    EXPECT_LE(pairs, truth.size());
    EXPECT_GE(joined + 12, pairs);
    // Each phase is the truth within six sigma of the counter's noise plus
    // its 10 ps resolution.
    EXPECT_LT(worstPs, 6 * kNoisePs + 10);

    // ADEV(1 s): the counter's, with a 99.9% interval, against the truth's
    // plus white phase noise (3 sigma^2 at tau0), and against the unit's own.
    const std::string counterStats =
        RunHistory("stats --db '" + db + "' --counter --taus 1 --stats adev --ci=0.999", status);
    ASSERT_EQ(status, 0) << counterStats;
    const std::vector<std::string> counterLine = Fields(Lines(counterStats).at(1), ' ');
    ASSERT_EQ(counterLine.size(), 6u) << counterStats;  // tau n alpha adev lo hi
    const double adev = std::stod(counterLine[3]), low = std::stod(counterLine[4]), high = std::stod(counterLine[5]);
    const double expected = std::sqrt(std::pow(Adev1(truthSeen), 2) + 3 * std::pow(kNoisePs * 1e-12, 2));
    EXPECT_LE(low, expected) << counterStats << "expected " << expected;
    EXPECT_GE(high, expected) << counterStats << "expected " << expected;

    const std::string unitStats = RunHistory("stats --db '" + db + "' --taus 1 --stats adev", status);
    ASSERT_EQ(status, 0) << unitStats;
    const double selfReport = std::stod(Fields(Lines(unitStats).at(1), ' ').at(2));
    EXPECT_LT(adev * 10, selfReport) << counterStats << unitStats;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor
