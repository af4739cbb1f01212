// The counter's samples on the unit's timeline: the join to the nearest time
// report within half a second, and the rows the store writes as
// velmor-history export --counter and stats --counter read them back.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "counter/CounterHistory.h"
#include "history/HistoryStore.h"

namespace velmor {
namespace {

CCounterSample At(std::uint64_t tick, const char* channel = "A-B")
{
    CCounterSample s;
    s.m_qwTick = tick;
    s.m_strChannel = channel;
    return s;
}

TEST(CounterJoin, NearestTimeReportWithinHalfASecondEitherSide)
{
    CCounterJoin join;
    std::vector<std::pair<CCounterSample, CCounterRow>> out;
    join.AddUnitReport(900, 100900);
    join.AddSample(At(1000), 1);    // the report 100 ms before it
    join.AddSample(At(2000), 2);    // none within 500 ms
    join.AddUnitReport(2600, 102600);
    join.AddSample(At(3000), 3);    // 2600 is 400 away, 3300 only 300
    join.Release(3400, out);
    // 3000 waits: a report may still come within its window.
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].second.m_llUnitRowMs, 100900);
    EXPECT_EQ(out[0].second.m_llHostMs, 1);
    EXPECT_FALSE(out[1].second.m_llUnitRowMs);
    join.AddUnitReport(3300, 103300);
    join.Release(3500, out);
    EXPECT_EQ(out.size(), 2u);  // exactly the window: still waiting
    join.Release(3501, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].second.m_llUnitRowMs, 103300);

    // Equally near on both sides: the earlier report. The edge of the
    // window joins, one past it does not.
    out.clear();
    join.AddUnitReport(4800, 104800);
    join.AddSample(At(5000), 5);
    join.AddUnitReport(5200, 105200);
    join.AddSample(At(5700), 6);   // 500 after 5200
    join.AddSample(At(6701), 7);   // 501 after 6200
    join.AddUnitReport(6200, 106200);
    join.Release(0, out, true);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].second.m_llUnitRowMs, 104800);
    EXPECT_EQ(out[1].second.m_llUnitRowMs, 105200);
    EXPECT_FALSE(out[2].second.m_llUnitRowMs);
}

constexpr std::int64_t kT0 = 1796637600000;  // 2026-12-07T10:00:00Z

std::string RunTool(const std::string& args, int& status)
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

TEST(CounterHistory, ExportJoinsTheUnitRowsAndStatsCutAtSegments)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-counter-history-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "history.sqlite3").string();
    {
        CHistoryOptions options;
        options.m_strPath = path;
        CHistoryStore units(options);
        units.SetUnit("512-6200-04", "/dev/ttyS0", "3.02.01", 16);
        CHistoryRow row;
        row.m_llHostMs = kT0 + 1000;
        row.m_dPpsOffsetNs = -3;
        row.m_dDac = 34361.5;
        row.m_dTemperatureC = 38.25;
        row.m_nDisciplineState = 1;
        row.m_nSatellitesTracked = 9;
        row.m_nSatellitesUsed = 7;
        units.Append(row);
        // A second row of the same millisecond (two reports in one read):
        // a sample still shows one unit row, the first.
        CHistoryRow twin = row;
        twin.m_dPpsOffsetNs = -4;
        units.Append(twin);
        // Another unit on another port, whose counter rows stay its own.
        units.SetUnit("512-6200-04", "/dev/ttyS1", "3.02.01", 16);
        units.Append(row);
        ASSERT_TRUE(units.Flush());

        CCounterStore counters(path);
        auto add = [&](const char* unit, std::int64_t ms, const char* channel, const char* text, std::int64_t ps,
                       bool start, std::optional<std::int64_t> joined, const char* counter = "/dev/ttyACM0") {
            CCounterRow r;
            r.m_strUnit = unit;
            r.m_strCounter = counter;
            r.m_llHostMs = ms;
            r.m_strChannel = channel;
            r.m_strText = text;
            r.m_phasePs = ps;
            r.m_bSegmentStart = start;
            r.m_llUnitRowMs = joined;
            counters.Append(r);
        };
        add("/dev/ttyS0", kT0 + 1020, "A", "86401.25000000099", 250000000990, true, kT0 + 1000);
        add("/dev/ttyS0", kT0 + 1020, "A-B", "86401.25000000099", 990, true, kT0 + 1000);
        add("/dev/ttyS0", kT0 + 2020, "A-B", "86402.25000000100", -1000, false, std::nullopt);
        add("/dev/ttyS1", kT0 + 2020, "A-B", "1.0", 5, true, std::nullopt);
        // A second counter beside the first unit: its rows are never mixed in.
        add("/dev/ttyS0", kT0 + 1500, "A-B", "7.0", 7, true, std::nullopt, "/dev/ttyACM1");
        // Two segments of A-B for the statistics: 3 + 4 samples, a
        // 100 ns slip between them that must not count.
        for (int i = 0; i < 7; ++i)
            add("/dev/ttyS0", kT0 + 3020 + i * 1000, "A-B", "x", (i < 3 ? 0 : 100000) + (i % 2) * 100, i == 3,
                std::nullopt);
        ASSERT_TRUE(counters.Flush(5000)) << counters.LastError();
    }
    const std::string db = "--db '" + path + "'";
    int status = -1;
    std::string out = RunTool("export --counter " + db + " --unit 1", status);
    EXPECT_EQ(status, 2) << out;
    EXPECT_EQ(out, "velmor-history export: 2 counters beside unit 1; choose one with --counter-device: /dev/ttyACM0 "
                   "/dev/ttyACM1\n");
    const std::string acm0 = " --counter-device /dev/ttyACM0";
    out = RunTool("export --counter " + db + " --unit 1 --to 2026-12-07T10:00:03Z" + acm0, status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out,
              "time_utc,channel,timestamp_s,phase_s,pps_offset_ns,dac,temperature_c,discipline_state,"
              "satellites_tracked,satellites_used\n"
              "2026-12-07T10:00:01.020Z,A,86401.25000000099,0.250000000990,-3,34361.5,38.25,1,9,7\n"
              "2026-12-07T10:00:01.020Z,A-B,86401.25000000099,0.000000000990,-3,34361.5,38.25,1,9,7\n"
              "2026-12-07T10:00:02.020Z,A-B,86402.25000000100,-0.000000001000,,,,,,\n");
    out = RunTool("export --counter --channel A " + db + " --unit 1" + acm0, status);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;

    // The segments' own ADEV: alternating 0 and 100 ps is 100 ps steps.
    out = RunTool("stats " + db + " --unit 1 --counter --channel A-B --from 2026-12-07T10:00:03Z --taus 1 --stats adev" +
                      acm0,
                  status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, "tau n adev\n1 3 1.414214e-10\n");
    out = RunTool("stats " + db + " --unit 2 --counter", status);
    EXPECT_EQ(status, 2) << out;
    EXPECT_NE(out.find("1 counter samples of channel A-B"), std::string::npos) << out;
    out = RunTool("stats " + db + " --counter --channel AB", status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("--channel takes A, B or A-B, not 'AB'"), std::string::npos) << out;
    std::filesystem::remove_all(dir);
}

TEST(CounterHistory, RowsOlderThanTheRetentionArePruned)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-counter-retention-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "history.sqlite3").string();
    constexpr std::int64_t kDay = 86400000;
    {
        // Two days kept; the clock says day 10.
        CCounterStore store(path, 2, [] { return kT0 + 10 * kDay; });
        for (std::int64_t day : {1, 7, 8, 9}) {
            CCounterRow row;
            row.m_strUnit = "/dev/ttyS0";
            row.m_strCounter = "/dev/ttyACM0";
            row.m_llHostMs = kT0 + day * kDay + 1;
            row.m_strChannel = "A-B";
            row.m_strText = std::to_string(day);
            store.Append(row);
        }
        ASSERT_TRUE(store.Flush(5000)) << store.LastError();
    }
    CSqliteDb db;
    ASSERT_EQ(db.Open(path, SQLITE_OPEN_READONLY), SQLITE_OK);
    CSqliteStatement kept;
    ASSERT_EQ(kept.Prepare(db, "SELECT group_concat(text) FROM counter_samples"), SQLITE_OK);
    ASSERT_EQ(kept.Step(), SQLITE_ROW);
    EXPECT_EQ(kept.Text(0), "8,9");
    std::filesystem::remove_all(dir);
}

// The roll-ups against the samples they summarise: minutes and hours across
// an hour boundary, built over several transactions; then the samples go
// with their retention and the roll-ups stay until theirs.
TEST(CounterHistory, RollupsSummariseTheSamplesAndOutliveThem)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-counter-rollups-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "history.sqlite3").string();
    constexpr std::int64_t kDay = 86400000;
    const std::int64_t hour = kT0 + 3600000;  // an hour boundary
    auto sample = [](std::int64_t ms, const char* channel, std::int64_t ps, bool start = false) {
        CCounterRow row;
        row.m_strUnit = "/dev/ttyS0";
        row.m_strCounter = "/dev/ttyACM0";
        row.m_llHostMs = ms;
        row.m_strChannel = channel;
        row.m_strText = "x";
        row.m_phasePs = ps;
        row.m_bSegmentStart = start;
        return row;
    };
    {
        CCounterStore store(path, 2, [&] { return hour + kDay; });
        // Every 7 s from 150 s before the hour to 150 s after, in three
        // flushes so that minutes grow across transactions; a segment start
        // at 20 s past the hour, and a channel A beside it.
        int i = 0;
        for (std::int64_t t = hour - 150000; t < hour + 150000; t += 7000, ++i) {
            const std::int64_t ps = (i * 7919) % 1000 - 500 + (t >= hour + 20000 ? 1000000 : 0);
            store.Append(sample(t, "A-B", ps, t >= hour + 20000 && t < hour + 27000));
            store.Append(sample(t, "A", 5));
            if (i % 15 == 14) {
                ASSERT_TRUE(store.Flush(20000)) << store.LastError();
            }
        }
        ASSERT_TRUE(store.Flush(20000)) << store.LastError();
    }
    CSqliteDb db;
    ASSERT_EQ(db.Open(path, SQLITE_OPEN_READONLY), SQLITE_OK);
    // Each roll-up row equals the samples' aggregate over its period.
    for (int period : {kCounterRollupMinuteS, kCounterRollupHourS}) {
        CSqliteStatement raw;
        ASSERT_EQ(raw.Prepare(db, "SELECT channel, (host_ms / ?1) * ?1, COUNT(*), MIN(phase_ps), MAX(phase_ps),"
                                  " SUM(phase_ps), SUM(segment_start) FROM counter_samples GROUP BY 1, 2 ORDER BY 1, 2"),
                  SQLITE_OK);
        raw.Bind(1, std::int64_t{period} * 1000);
        CSqliteStatement rolled;
        ASSERT_EQ(rolled.Prepare(db, "SELECT channel, start_ms, n, v_min, v_max, v_sum, segment_starts"
                                     " FROM counter_rollups WHERE period_s = ?1 AND unit_device = '/dev/ttyS0'"
                                     " AND counter_device = '/dev/ttyACM0' ORDER BY 1, 2"),
                  SQLITE_OK);
        rolled.Bind(1, std::int64_t{period});
        int buckets = 0;
        while (raw.Step() == SQLITE_ROW) {
            ASSERT_EQ(rolled.Step(), SQLITE_ROW) << period;
            EXPECT_EQ(rolled.Text(0), raw.Text(0));
            EXPECT_EQ(rolled.Int(1), raw.Int(1));
            EXPECT_EQ(rolled.Int(2), raw.Int(2));
            EXPECT_DOUBLE_EQ(rolled.Double(3), raw.Double(3));
            EXPECT_DOUBLE_EQ(rolled.Double(4), raw.Double(4));
            EXPECT_DOUBLE_EQ(rolled.Double(5), raw.Double(5));
            EXPECT_EQ(rolled.Int(6), raw.Int(6));
            ++buckets;
        }
        EXPECT_NE(rolled.Step(), SQLITE_ROW);
        // Six minutes touched (2.5 either side of the hour), two hours; two channels.
        EXPECT_EQ(buckets, period == kCounterRollupMinuteS ? 12 : 4);
    }
    // The hour before the boundary: 22 samples, by hand.
    CSqliteStatement before;
    ASSERT_EQ(before.Prepare(db, "SELECT n, v_sum / n FROM counter_rollups WHERE period_s = 3600 AND channel = 'A'"
                                 " AND start_ms = ?1"),
              SQLITE_OK);
    before.Bind(1, kT0);
    ASSERT_EQ(before.Step(), SQLITE_ROW);
    EXPECT_EQ(before.Int(0), 22);
    EXPECT_DOUBLE_EQ(before.Double(1), 5.0);
    db.Close();

    // Five days on the samples are gone (two days kept), the roll-ups not;
    // past the roll-ups' own retention they go as well.
    auto counts = [&](std::int64_t now) {
        {
            CCounterStore store(path, 2, [&] { return now; }, 730);
            store.Append(sample(now, "B", 1));  // a write: the prune follows it
            EXPECT_TRUE(store.Flush(20000)) << store.LastError();
        }
        CSqliteDb check;
        EXPECT_EQ(check.Open(path, SQLITE_OPEN_READONLY), SQLITE_OK);
        CSqliteStatement n;
        EXPECT_EQ(n.Prepare(check, "SELECT (SELECT COUNT(*) FROM counter_samples WHERE channel <> 'B'),"
                                   " (SELECT COUNT(*) FROM counter_rollups WHERE channel <> 'B')"),
                  SQLITE_OK);
        EXPECT_EQ(n.Step(), SQLITE_ROW);
        return std::make_pair(n.Int(0), n.Int(1));
    };
    EXPECT_EQ(counts(hour + 5 * kDay), std::make_pair(std::int64_t{0}, std::int64_t{16}));
    EXPECT_EQ(counts(hour + 731 * kDay), std::make_pair(std::int64_t{0}, std::int64_t{0}));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor
