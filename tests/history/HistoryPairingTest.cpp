// Which second each reading is recorded on: the recorder pairs a reading
// with the unit's second by its arrival between time reports, in either
// order the unit sends them, and with time reports every even second; a
// second without its 1PPS sample is a gap wherever the record is read, and
// the host clock never reorders or joins anything. Also: a database of the
// first schema version is brought up to date and read in arrival order.

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/Sqlite.h"
#include "readings/Decode.h"

namespace velmor {
namespace {

constexpr std::int64_t kT0 = 1796637600000;  // 2026-12-07T10:00:00Z, the unit's second 0
constexpr std::int64_t kSecond0 = kT0 / 1000;

// What the simulated unit does in one run.
struct CUnitRun {
    int m_nFirst = 0;  // the unit's first second of the run
    int m_nSeconds = 30;
    bool m_bReadingsFirst = false;
    bool m_bEvenSecondTime = false;
    std::set<int> m_lostPps;   // seconds whose 1PPS sentence is lost
    std::set<int> m_lostTime;  // seconds whose time report is lost
    std::uint64_t m_qwSecondMs = 1000;  // the unit's second on the host's tick
    int m_nHostStepAt = -1;   // the host clock steps back an hour before this second
    char m_chState = '1';
};

// The 1PPS value the unit sends for its second |s|: every second differs.
int PpsOf(int s) { return 100 + s; }

class HistoryPairingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() /
                ("velmor-pairing-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_options.m_strPath = (m_dir / "history.sqlite3").string();
        m_options.m_nCommitIntervalMs = 50;
        m_options.m_clock = [] { return kT0; };
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    void Send(CHistoryRecorder& recorder, Reported what, const char* keyword)
    {
        UpdateReadings(m_readings, m_state, static_cast<std::uint32_t>(what), keyword, m_qwTick);
        recorder.OnObservation(CObservation{LinkEvent::SentenceHandled, static_cast<std::uint32_t>(what), keyword,
                                            {}, m_state, m_readings, m_qwTick});
    }
    void SendTime(CHistoryRecorder& recorder, int s, Reported extra = Reported::DisciplineState)
    {
        const int at = s + 36000;  // 10:00:00 is second 0
        char text[48];
        std::snprintf(text, sizeof text, "341:%02d:%02d:%02d", at / 3600, at / 60 % 60, at % 60);
        m_state.m_nYear = 2026;
        m_state.m_nMonth = 12;
        m_state.m_nDay = 7;
        m_state.m_strTimeOfDay = text;
        Send(recorder, Reported::UnitTime | extra, "TIME");
    }
    void SendPps(CHistoryRecorder& recorder, int s)
    {
        m_state.m_nLastTimeDiff = PpsOf(s);
        Send(recorder, Reported::PpsOffset, "TIMD");
    }
    // Moves the tick (and the host clock with it) to |tick|, ticking the
    // recorder every 100 ms on the way as the program's poll does.
    void AdvanceTo(CHistoryRecorder& recorder, std::uint64_t tick)
    {
        while (m_qwTick + 100 <= tick) {
            m_qwTick += 100;
            m_llNow += 100;
            recorder.OnTick(m_qwTick);
        }
        m_llNow += static_cast<std::int64_t>(tick - m_qwTick);
        m_qwTick = tick;
    }

    void Play(CHistoryRecorder& recorder, const CUnitRun& run)
    {
        m_state.m_chDisciplineState = run.m_chState;
        const std::uint64_t start = m_qwTick + 1000;
        const std::uint64_t early = run.m_qwSecondMs / 50;   // 2 % into the second
        const std::uint64_t later = run.m_qwSecondMs / 20;   // 5 % into it
        for (int s = run.m_nFirst; s < run.m_nFirst + run.m_nSeconds; ++s) {
            if (s == run.m_nHostStepAt) m_llNow -= 3600000;
            const std::uint64_t base = start + static_cast<std::uint64_t>(s - run.m_nFirst) * run.m_qwSecondMs;
            const bool time = !run.m_lostTime.count(s) && (!run.m_bEvenSecondTime || s % 2 == 0);
            const bool pps = !run.m_lostPps.count(s);
            AdvanceTo(recorder, base + early);
            if (run.m_bReadingsFirst ? pps : time) {
                if (run.m_bReadingsFirst) SendPps(recorder, s);
                else SendTime(recorder, s);
            }
            AdvanceTo(recorder, base + later);
            if (run.m_bReadingsFirst ? time : pps) {
                if (run.m_bReadingsFirst) SendTime(recorder, s);
                else SendPps(recorder, s);
            }
        }
    }

    // Runs |run| through a recorder into a fresh database and reads the phase back.
    std::vector<CPhaseSample> Record(const CUnitRun& run, std::vector<CHistoryRow>* pRows = nullptr)
    {
        std::filesystem::remove(m_options.m_strPath);
        {
            CHistoryStore store(m_options);
            CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
            Play(recorder, run);
            recorder.Stop();
        }
        CHistoryQuery query;
        std::string error;
        EXPECT_TRUE(query.Open(m_options.m_strPath, error)) << error;
        const auto units = query.ListUnits();
        if (units.empty()) return {};
        if (pRows) *pRows = query.ReadRows(units[0].m_llId, INT64_MIN, INT64_MAX);
        return query.ReadPhase(units[0].m_llId, INT64_MIN, INT64_MAX, 0);
    }

    // Each sample on the second its value was sent for; 'S' where a segment starts.
    static std::string Check(const std::vector<CPhaseSample>& phase)
    {
        std::string starts;
        for (const CPhaseSample& p : phase) {
            if (!p.m_llUnitSecond) return "a sample without its unit second";
            const int s = static_cast<int>(*p.m_llUnitSecond - kSecond0);
            if (p.m_dPhaseSeconds != PpsOf(s) * 1e-9)
                return "second " + std::to_string(s) + " holds " + std::to_string(p.m_dPhaseSeconds * 1e9);
            starts += p.m_bSegmentStart ? 'S' : '.';
        }
        return starts;
    }

    std::filesystem::path m_dir;
    CHistoryOptions m_options;
    CUnitState m_state;
    CReadings m_readings;
    std::uint64_t m_qwTick = 1000000;
    std::int64_t m_llNow = kT0;
};

TEST_F(HistoryPairingTest, EachSampleLandsOnItsOwnSecondInBothOrdersAndWithEvenSecondReports)
{
    const std::string unbroken = "S" + std::string(29, '.');
    for (const bool readingsFirst : {false, true}) {
        SCOPED_TRACE(readingsFirst ? "readings first" : "time first");
        CUnitRun run;
        run.m_bReadingsFirst = readingsFirst;
        std::vector<CHistoryRow> rows;
        EXPECT_EQ(Check(Record(run, &rows)), unbroken);
        EXPECT_EQ(rows.size(), 30u);

        // Time reports every even second: a row spans two seconds, its
        // samples take T and T+1, and the run stays one segment at tau0 1 s.
        // (Until the third report the recorder does not take the reports to
        // be two seconds apart, as a lost report looks the same: the first
        // odd seconds make rows of their own.)
        run.m_bEvenSecondTime = true;
        EXPECT_EQ(Check(Record(run, &rows)), unbroken);
        EXPECT_LE(rows.size(), 18u);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].m_llUnitSecond.value_or(0) < kSecond0 + 6) continue;
            EXPECT_EQ(rows[i].m_nPpsCount, 2) << rows[i].m_szUnitTimeOfDay.c_str();
            EXPECT_EQ((rows[i].m_llUnitSecond.value_or(1) - kSecond0) % 2, 0);
        }

        // A unit simulated ten times faster: its second is 100 ms of the
        // host's, learnt from the first two reports. Readings first, the
        // second second's sample comes before that and has no place.
        run.m_bEvenSecondTime = false;
        run.m_qwSecondMs = 100;
        EXPECT_EQ(Check(Record(run)), readingsFirst ? "SS" + std::string(27, '.') : unbroken);
    }
}

TEST_F(HistoryPairingTest, ALostSentenceIsAGapOnlyWhereASecondHasNoSample)
{
    for (const bool readingsFirst : {false, true}) {
        SCOPED_TRACE(readingsFirst ? "readings first" : "time first");
        CUnitRun run;
        run.m_bReadingsFirst = readingsFirst;
        run.m_lostPps = {16};
        run.m_lostTime = {21, 25, 26};  // the samples of those seconds still count
        std::vector<CHistoryRow> rows;
        const auto phase = Record(run, &rows);
        EXPECT_EQ(Check(phase), "S" + std::string(15, '.') + "S" + std::string(12, '.'));
        // With every-second time reports a second still needs a report to
        // be placed to the unit's time: 21, 25 and 26 come from the
        // report before them.
        for (const CHistoryRow& row : rows) EXPECT_TRUE(row.HasReading());
        // The plot's raw points break their line at the same place.
        CHistoryQuery query;
        std::string error;
        ASSERT_TRUE(query.Open(m_options.m_strPath, error)) << error;
        std::string breaks;
        for (const CSeriesPoint& point :
             query.ReadSeries(1, HistoryQuantity::PpsOffset, kT0 - 1000, kT0 + 600000).m_points)
            breaks += point.m_bBreakBefore ? 'B' : '.';
        EXPECT_EQ(breaks.find('B'), breaks.rfind('B')) << breaks;
        EXPECT_NE(breaks.find('B'), std::string::npos) << breaks;
    }
    // Even-second reports with one of them lost: the two seconds after it
    // are still placed (counted from the report before).
    CUnitRun even;
    even.m_bEvenSecondTime = true;
    even.m_lostTime = {10};
    EXPECT_EQ(Check(Record(even)), "S" + std::string(29, '.'));
}

TEST_F(HistoryPairingTest, AHostClockStepNeitherReordersNorBreaksTheRun)
{
    CUnitRun run;
    run.m_nHostStepAt = 12;
    std::vector<CHistoryRow> rows;
    EXPECT_EQ(Check(Record(run, &rows)), "S" + std::string(29, '.'));
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_LT(rows[12].m_llHostMs, rows[11].m_llHostMs) << "the host clock went back";
    for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_GT(rows[i].m_llSeq, rows[i - 1].m_llSeq);
}

TEST_F(HistoryPairingTest, NoRowOfTheTimeAloneAndAKilledRecorderLeavesAMarkedGap)
{
    {
        CHistoryStore store(m_options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        // The first time report after the start carries nothing else.
        AdvanceTo(recorder, m_qwTick + 1000);
        SendTime(recorder, -1, Reported::None);
        CUnitRun run;
        run.m_nSeconds = 10;
        Play(recorder, run);
        // The program is killed: no clean stop.
    }
    // Restarted five of the unit's seconds later than its last row.
    m_qwTick += 5000;
    m_llNow += 5000;
    {
        CHistoryStore store(m_options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        CUnitRun run;
        run.m_nFirst = 15;
        Play(recorder, run);
        recorder.Stop();
    }
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_options.m_strPath, error)) << error;
    const std::int64_t unit = query.ListUnits().at(0).m_llId;
    const auto rows = query.ReadRows(unit, INT64_MIN, INT64_MAX);
    ASSERT_EQ(rows.size(), 40u) << "no row for the report of the time alone";
    EXPECT_EQ(rows[0].m_llUnitSecond, kSecond0);
    EXPECT_EQ(rows[10].m_marker, HistoryMarker::RecorderRestart);
    EXPECT_TRUE(rows.back().m_bCleanStop);
    EXPECT_FALSE(rows[9].m_bCleanStop);
    EXPECT_EQ(Check(query.ReadPhase(unit, INT64_MIN, INT64_MAX, 0)), "S.........S" + std::string(29, '.'));
    const auto periods = query.ReadPeriods(unit, INT64_MIN, INT64_MAX);
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(periods[0].m_kind, HistoryPeriodKind::RecorderRestart);
}

TEST_F(HistoryPairingTest, SettledLockLeavesOutTheFirstMinuteOfEveryLockedRun)
{
    std::filesystem::remove(m_options.m_strPath);
    {
        CHistoryStore store(m_options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        CUnitRun run;
        run.m_nSeconds = 100;
        Play(recorder, run);
        recorder.Stop();
    }
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_options.m_strPath, error)) << error;
    const std::int64_t unit = query.ListUnits().at(0).m_llId;
    for (const auto& [settle, locked] : {std::pair{60, 40}, std::pair{0, 100}, std::pair{99, 1}, std::pair{100, 0}}) {
        int count = 0;
        for (const CPhaseSample& p : query.ReadPhase(unit, INT64_MIN, INT64_MAX, settle)) count += p.m_bLocked;
        EXPECT_EQ(count, locked) << settle;
    }
}

// The first schema, as the program wrote it before the arrival order, the
// unit's second and the clean-stop mark existed.
const char* const kFirstSchemaSql = R"SQL(
CREATE TABLE units(id INTEGER PRIMARY KEY, part_number TEXT NOT NULL, device TEXT NOT NULL, firmware TEXT,
    product_type INTEGER, UNIQUE(part_number, device));
CREATE TABLE readings(unit_id INTEGER NOT NULL, host_ms INTEGER NOT NULL, unit_year INTEGER, unit_month INTEGER,
    unit_day INTEGER, unit_time_of_day TEXT, time_mode TEXT, unit_utc_ms INTEGER, pps_offset_ns REAL,
    pps_count INTEGER NOT NULL DEFAULT 0, pps_samples TEXT, pps_raw_ns REAL, frequency_error REAL,
    frequency_std_error REAL, dac REAL, temperature_c REAL, discipline_state INTEGER, tfom INTEGER,
    position_mode TEXT, satellites_tracked INTEGER, satellites_used INTEGER, mean_strength REAL,
    coast_duration_s INTEGER, marker INTEGER NOT NULL DEFAULT 0);
CREATE INDEX readings_unit_time ON readings(unit_id, host_ms);
CREATE TABLE rollups(unit_id INTEGER NOT NULL, period_s INTEGER NOT NULL, quantity INTEGER NOT NULL,
    start_ms INTEGER NOT NULL, n INTEGER NOT NULL, v_min REAL, v_max REAL, v_sum REAL,
    PRIMARY KEY(unit_id, period_s, quantity, start_ms)) WITHOUT ROWID;
CREATE TABLE events(id INTEGER PRIMARY KEY, unit_id INTEGER, host_ms INTEGER NOT NULL, name TEXT NOT NULL,
    detail TEXT);
CREATE INDEX events_time ON events(host_ms);
INSERT INTO units VALUES(1, '512-6200-04', '/dev/ttyS0', '3.02.01', 16);
PRAGMA user_version = 1;
)SQL";

TEST_F(HistoryPairingTest, AFirstVersionDatabaseIsReadAsItIsAndMigratedByTheRecorder)
{
    {
        CSqliteDb db;
        ASSERT_EQ(db.Open(m_options.m_strPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
        ASSERT_EQ(db.Exec(kFirstSchemaSql), SQLITE_OK) << db.ErrorText();
        // Ten rows a second apart, then a host clock that stepped back: the
        // rows were appended in this order all the same.
        for (int i = 0; i < 12; ++i) {
            const std::int64_t host = kT0 + (i < 10 ? i : i - 20) * 1000;
            const std::string sql = "INSERT INTO readings(unit_id, host_ms, pps_offset_ns, pps_count,"
                                    " discipline_state) VALUES(1, " + std::to_string(host) + ", " +
                                    std::to_string(i) + ", 1, 1)";
            ASSERT_EQ(db.Exec(sql.c_str()), SQLITE_OK) << db.ErrorText();
        }
    }
    auto pps = [&](CHistoryQuery& query) {
        std::vector<int> values;
        for (const CHistoryRow& row : query.ReadRows(1, INT64_MIN, INT64_MAX))
            values.push_back(static_cast<int>(row.m_dPpsOffsetNs.value_or(-1)));
        return values;
    };
    const std::vector<int> arrival{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    {
        // Read before any recorder of this version opened it.
        CHistoryQuery query;
        std::string error;
        ASSERT_TRUE(query.Open(m_options.m_strPath, error)) << error;
        EXPECT_EQ(pps(query), arrival);
        const auto phase = query.ReadPhase(1, INT64_MIN, INT64_MAX, 0);
        ASSERT_EQ(phase.size(), 12u);
        EXPECT_TRUE(phase[10].m_bSegmentStart) << "the host time went back: no unit time to join them";
        EXPECT_FALSE(phase[11].m_bSegmentStart);
    }
    {
        CHistoryStore store(m_options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        m_state.m_bIdentified = true;
        m_state.m_strPartNumber = "512-6200-04";
        m_state.m_nProductType = 16;
        m_state.m_chDisciplineState = '1';
        AdvanceTo(recorder, m_qwTick + 1000);
        SendTime(recorder, 0, Reported::DisciplineState | Reported::Identification);
        AdvanceTo(recorder, m_qwTick + 50);
        SendPps(recorder, 0);
        recorder.Stop();
        ASSERT_TRUE(store.Flush());
        EXPECT_EQ(store.Status(), HistoryStatus::Recording) << store.StatusText();
    }
    CSqliteDb db;
    ASSERT_EQ(db.Open(m_options.m_strPath, SQLITE_OPEN_READONLY), SQLITE_OK);
    CSqliteStatement version;
    ASSERT_EQ(version.Prepare(db, "PRAGMA user_version"), SQLITE_OK);
    ASSERT_EQ(version.Step(), SQLITE_ROW);
    EXPECT_EQ(version.Int(0), 2);
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_options.m_strPath, error)) << error;
    std::vector<int> after = arrival;
    after.push_back(PpsOf(0));
    EXPECT_EQ(pps(query), after);
    const auto rows = query.ReadRows(1, INT64_MIN, INT64_MAX);
    EXPECT_FALSE(rows[0].m_llUnitSecond) << "old rows do not claim the unit's time";
    EXPECT_EQ(rows.back().m_llUnitSecond, kSecond0);
    EXPECT_EQ(rows.back().m_marker, HistoryMarker::RecorderRestart) << "the old program never stopped cleanly";
    EXPECT_TRUE(rows.back().m_bCleanStop);
}

}  // namespace
}  // namespace velmor
