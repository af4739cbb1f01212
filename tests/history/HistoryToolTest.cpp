// velmor-history list, export and stats --db over a database the store wrote.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "history/HistoryStore.h"

namespace velmor {
namespace {

constexpr std::int64_t kT0 = 1796637600000;  // 2026-12-07T10:00:00Z

struct CRun {
    int m_nStatus = -1;
    std::string m_strOutput;  // standard output and error
};

CRun RunTool(const std::string& args)
{
    CRun run;
    const std::string command = std::string(VELMOR_HISTORY_PATH) + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.m_strOutput.append(buffer, n);
    const int status = ::pclose(pipe);
    run.m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator && separator == ',') parts.emplace_back();
    return parts;
}

TEST(HistoryTool, ListExportAndStatsReadWhatWasRecorded)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-history-tool-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string path = (dir / "history.sqlite3").string();
    {
        CHistoryOptions options;
        options.m_strPath = path;
        CHistoryStore store(options);
        store.SetUnit("512-6200-03", "/dev/serial/by-id/usb-A", "V1.2", 16);
        for (int i = 0; i < 40; ++i) {
            CHistoryRow row;
            row.m_llHostMs = kT0 + i * 1000;
            row.m_dPpsOffsetNs = -i % 5;
            row.m_nPpsCount = 1;
            row.m_adPpsSamples[0] = *row.m_dPpsOffsetNs;
            row.m_nDisciplineState = 1;
            row.m_dFrequencyError = 1.5e-12;
            store.Append(row);
        }
        store.SetUnit("512-6300-01", "/dev/ttyS1", "", 3);
        CHistoryRow other;
        other.m_llHostMs = kT0;
        store.Append(other);
        ASSERT_TRUE(store.Flush());
    }
    const std::string db = "--db '" + path + "'";

    const CRun list = RunTool("list " + db);
    EXPECT_EQ(list.m_nStatus, 0) << list.m_strOutput;
    const auto lines = Split(list.m_strOutput, '\n');
    ASSERT_EQ(lines.size(), 3u) << list.m_strOutput;
    EXPECT_EQ(lines[1], "1\t512-6200-03\t/dev/serial/by-id/usb-A\t2026-12-07T10:00:00Z\t2026-12-07T10:00:39Z\t40");

    const CRun ambiguous = RunTool("export " + db);
    EXPECT_EQ(ambiguous.m_nStatus, 2);
    EXPECT_NE(ambiguous.m_strOutput.find("--unit"), std::string::npos) << ambiguous.m_strOutput;

    const CRun range = RunTool("export " + db + " --unit 1 --from 2026-12-07T10:00:02Z --to 2026-12-07T10:00:05Z");
    EXPECT_EQ(range.m_nStatus, 0) << range.m_strOutput;
    const auto csv = Split(range.m_strOutput, '\n');
    ASSERT_EQ(csv.size(), 4u) << range.m_strOutput;  // 10:00:02, :03, :04
    const auto header = Split(csv[0], ',');
    const auto first = Split(csv[1], ',');
    ASSERT_EQ(first.size(), header.size()) << csv[1];
    auto field = [&](const std::vector<std::string>& row, const std::string& name) {
        const auto at = std::find(header.begin(), header.end(), name);
        return at == header.end() ? std::string("<no column>") : row[static_cast<std::size_t>(at - header.begin())];
    };
    EXPECT_EQ(field(first, "time_utc"), "2026-12-07T10:00:02.000Z");
    EXPECT_EQ(field(first, "pps_offset_ns"), "-2");
    EXPECT_EQ(field(first, "frequency_error"), "1.5e-12");
    EXPECT_EQ(field(first, "discipline_state"), "1");
    EXPECT_EQ(field(first, "temperature_c"), "");  // never reported
    EXPECT_EQ(field(first, "satellites_used"), "");
    EXPECT_EQ(field(Split(csv[3], ','), "time_utc"), "2026-12-07T10:00:04.000Z");

    const CRun stats = RunTool("stats " + db + " --unit 1 --taus 1,2 --settle 0");
    EXPECT_EQ(stats.m_nStatus, 0) << stats.m_strOutput;
    const auto table = Split(stats.m_strOutput, '\n');
    ASSERT_EQ(table.size(), 3u) << stats.m_strOutput;
    EXPECT_EQ(table[0], "tau n adev mdev tdev hdev");
    EXPECT_EQ(table[1].rfind("1 38 ", 0), 0u) << table[1];  // 40 phase points, 38 Allan terms at tau0
    // Locked for 39 s in all: the default 60 s of settling leaves nothing,
    // 30 s leaves the last 10 samples; every state counts all 40.
    const CRun unsettled = RunTool("stats " + db + " --unit 1 --taus 1");
    EXPECT_EQ(unsettled.m_nStatus, 2);
    EXPECT_NE(unsettled.m_strOutput.find("0 settled time-locked"), std::string::npos) << unsettled.m_strOutput;
    const CRun settled = RunTool("stats " + db + " --unit 1 --taus 1 --settle=30");
    EXPECT_EQ(Split(settled.m_strOutput, '\n').at(1).rfind("1 8 ", 0), 0u) << settled.m_strOutput;
    const CRun all = RunTool("stats " + db + " --unit 1 --taus 1 --all-states");
    EXPECT_EQ(Split(all.m_strOutput, '\n').at(1).rfind("1 38 ", 0), 0u) << all.m_strOutput;
    for (const char* bad : {"--settle -1", "--settle 1.5", "--settle x", "--all-states=1"})
        EXPECT_EQ(RunTool("stats " + db + " --unit 1 " + bad).m_nStatus, 2) << bad;
    EXPECT_EQ(RunTool("stats --phase /dev/null --settle 5").m_nStatus, 2) << "--settle goes with --db";

    const CRun unknown = RunTool("export " + db + " --unit 7");
    EXPECT_EQ(unknown.m_nStatus, 2);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor
