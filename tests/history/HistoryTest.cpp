// The history recorder and its database: what a row holds, what survives a
// restart of the program, and what happens when the file cannot be written.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/Menu.h"
#include "app/Program.h"
#include "config/DialogModel.h"
#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryTime.h"
#include "readings/Decode.h"
#include "settings/Profile.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

constexpr std::int64_t kT0 = 1796637600000;  // 2026-12-07T10:00:00Z

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                ("velmor-history-" + std::to_string(::getpid()) + "-" + info->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / "history.sqlite3").string();
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    CHistoryOptions Options() const
    {
        CHistoryOptions options;
        options.m_strPath = m_path;
        options.m_nCommitIntervalMs = 50;
        options.m_clock = [] { return kT0; };
        return options;
    }

    // One handled sentence that carried |what|; it arrives at the host
    // time m_llNow, on a tick that follows that clock.
    void Report(CHistoryRecorder& recorder, Reported what, std::string_view keyword = "")
    {
        m_qwTick = static_cast<std::uint64_t>(m_llNow - kT0 + 1000000);
        UpdateReadings(m_readings, m_state, static_cast<std::uint32_t>(what), keyword, m_qwTick);
        recorder.OnObservation(CObservation{LinkEvent::SentenceHandled, static_cast<std::uint32_t>(what), keyword, {},
                                            m_state, m_readings, m_qwTick});
    }

    // The unit's time report for second |s| after 10:00:00 on day 341 of 2026.
    void TimeReport(CHistoryRecorder& recorder, int s, char discipline = '1')
    {
        m_state.m_nYear = 2026;
        m_state.m_nMonth = 12;
        m_state.m_nDay = 7;
        char text[16];
        std::snprintf(text, sizeof text, "341:10:%02d:%02d", s / 60 % 60, s % 60);
        m_state.m_strTimeOfDay = text;
        m_state.m_chDisciplineState = discipline;
        Report(recorder, Reported::UnitTime | Reported::TimeMode | Reported::Tfom | Reported::DisciplineState,
               "TIME");
    }

    std::filesystem::path m_dir;
    std::string m_path;
    CUnitState m_state;
    CReadings m_readings;
    std::uint64_t m_qwTick = 0;
    std::int64_t m_llNow = kT0;
};

TEST_F(HistoryTest, RowsHoldWhatWasReportedAndSurviveARestartOfTheProgram)
{
    {
        CHistoryStore store(Options());
        CHistoryRecorder recorder(store, "/dev/serial/by-id/usb-unit0", [this] { return m_llNow; });
        m_state.m_strPartNumber = "512-6200-03";
        m_state.m_nProductType = 16;
        Report(recorder, Reported::Identification, "PRID");
        m_state.m_chTimeMode = '1';  // GPS time
        m_state.m_strLeapNow = "18";
        Report(recorder, Reported::LeapSeconds, "LEAP");
        // Two 1PPS values before the first time report: only the one just
        // before it belongs to the report's second.
        m_state.m_nLastTimeDiff = -13;
        Report(recorder, Reported::PpsOffset, "TIMD");
        m_state.m_nLastTimeDiff = -12;
        Report(recorder, Reported::PpsOffset, "TIMD");
        m_state.m_strDacValue = "327??";  // reported, but not a number
        Report(recorder, Reported::Dac, "DACV");
        m_state.m_strFreqErrorEstimate = " 1.25E-11";
        Report(recorder, Reported::FrequencyError, "EFER");
        for (CSatelliteRow& row : m_state.m_aSatellites) row = {"00", 0, '0'};
        m_state.m_aSatellites[0] = {"07", 45, '2'};
        m_state.m_aSatellites[1] = {"00", 0, '0'};
        m_state.m_aSatellites[2] = {"12", 30, '0'};
        Report(recorder, Reported::Satellites, "SIGQ");
        TimeReport(recorder, 18);  // GPS 10:00:18 is UTC 10:00:00
        m_llNow += 1000;
        TimeReport(recorder, 19);  // no 1PPS sample since the row before
        EXPECT_TRUE(store.Flush());
    }
    {
        // The program starts again; the unit restarted meanwhile.
        CHistoryStore store(Options());
        CHistoryRecorder recorder(store, "/dev/serial/by-id/usb-unit0", [this] { return m_llNow; });
        recorder.MarkUnitRestarted();
        m_state.m_chTimeMode = '2';  // UTC
        m_llNow += 5000;
        Report(recorder, Reported::Identification, "PRID");
        TimeReport(recorder, 25);
        EXPECT_TRUE(store.Flush());
        EXPECT_EQ(store.Status(), HistoryStatus::Recording) << store.StatusText();
    }

    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const auto units = query.ListUnits();
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].m_strPartNumber, "512-6200-03");
    EXPECT_EQ(units[0].m_strDevice, "/dev/serial/by-id/usb-unit0");
    EXPECT_EQ(units[0].m_llRowCount, 3);
    EXPECT_EQ(units[0].m_llFirstMs, kT0);
    EXPECT_EQ(units[0].m_llLastMs, kT0 + 6000);

    const auto rows = query.ReadRows(units[0].m_llId, 0, kT0 + 86400000);
    ASSERT_EQ(rows.size(), 3u);
    const CHistoryRow& first = rows[0];
    EXPECT_EQ(first.m_nPpsCount, 1);
    EXPECT_EQ(first.m_adPpsSamples[0], -12);
    EXPECT_EQ(first.m_dPpsOffsetNs, -12);
    EXPECT_EQ(first.m_llUnitSecond, kT0 / 1000 + 18) << "the unit's own (GPS) second";
    EXPECT_EQ(first.m_llUnitUtcMs, kT0);
    EXPECT_STREQ(first.m_szUnitTimeOfDay.c_str(), "341:10:00:18");
    EXPECT_EQ(first.m_chTimeMode, '1');
    EXPECT_EQ(first.m_dFrequencyError, 1.25e-11);
    // A channel still searching (track mode '0') tracks nothing, as the
    // metrics count it.
    EXPECT_EQ(first.m_nSatellitesTracked, 1);
    EXPECT_EQ(first.m_nSatellitesUsed, 1);
    EXPECT_EQ(first.m_dMeanStrength, 45);
    EXPECT_EQ(first.m_nDisciplineState, 1);
    // Never reported, or reported as text that is no number: unknown, not the
    // unit state's placeholder.
    EXPECT_FALSE(first.m_dDac);
    EXPECT_FALSE(first.m_dTemperatureC);
    EXPECT_FALSE(first.m_dFrequencyStdError);
    EXPECT_FALSE(first.m_nCoastDurationS);
    EXPECT_FALSE(first.m_chPositionMode);

    EXPECT_EQ(rows[1].m_nPpsCount, 0);
    EXPECT_FALSE(rows[1].m_dPpsOffsetNs);
    EXPECT_EQ(rows[1].m_dFrequencyError, 1.25e-11);  // the latest value carries on
    EXPECT_EQ(rows[1].m_marker, HistoryMarker::None);

    // After the restart the old values are forgotten and the row is marked.
    EXPECT_EQ(rows[2].m_marker, HistoryMarker::UnitRestarted);
    EXPECT_FALSE(rows[2].m_dFrequencyError);
    EXPECT_EQ(rows[2].m_llUnitUtcMs, kT0 + 25000);

    // Export ranges: from inclusive, to exclusive.
    EXPECT_EQ(query.ReadRows(units[0].m_llId, kT0, kT0 + 1000).size(), 1u);
    EXPECT_EQ(query.ReadRows(units[0].m_llId, kT0 + 1, kT0 + 6000).size(), 1u);
    EXPECT_EQ(query.ReadRows(units[0].m_llId, kT0 + 1, kT0 + 6001).size(), 2u);
}

TEST_F(HistoryTest, TheProgramsSentencesBecomeRows)
{
    CFakeHost host;
    CFakeSerialDevice device;
    device.m_bOpen = true;
    CProfile profile = CProfile::InMemory();
    CProgram program{host, device, profile};
    CHistoryStore store(Options());
    CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
    program.Session().AddObserver(recorder);
    for (const char* body : {"LEAP,18,18", "TIMD,-12", "TIMD,-12", "TIMR,-7", "EFER,1.23E-11", "DACV,032768",
                             "NTLC,0", "TIME,2026,341,10,00,18,1,3,1"})
        program.Session().DispatchSentence(body);
    m_llNow += 1000;
    host.Advance(1000);
    program.Session().DispatchSentence("TIMD,-11");
    program.Session().DispatchSentence("TIME,2026,341,10,00,19,1,3,2");
    program.Session().RemoveObserver(recorder);
    recorder.Stop();
    ASSERT_TRUE(store.Flush());

    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const auto rows = query.ReadRows(query.ListUnits().at(0).m_llId, 0, kT0 + 86400000);
    ASSERT_EQ(rows.size(), 2u);
    const CHistoryRow& r = rows[0];
    EXPECT_EQ(r.m_nPpsCount, 1);  // a repeat within the same second is no second sample
    EXPECT_EQ(r.m_adPpsSamples[0], -12);
    EXPECT_EQ(r.m_dPpsRawNs, -7);
    EXPECT_EQ(r.m_dFrequencyError, 1.23e-11);
    EXPECT_EQ(r.m_dDac, 32768);
    EXPECT_EQ(r.m_nCoastDurationS, 0);
    EXPECT_EQ(r.m_chTimeMode, '1');
    EXPECT_EQ(r.m_nTfom, 3);
    EXPECT_EQ(r.m_llUnitUtcMs, kT0);  // GPS time less the 18 leap seconds
    EXPECT_FALSE(r.m_dTemperatureC);   // not reported: the state's "000.0" is no reading
    EXPECT_FALSE(r.m_nSatellitesTracked);
    EXPECT_EQ(rows[1].m_dPpsOffsetNs, -11);
    EXPECT_EQ(rows[1].m_nDisciplineState, 2);
}

TEST_F(HistoryTest, ASetupDialogsPauseIsMarkedAsSuchAndOnlyARealLossAsLinkLost)
{
    CFakeHost host;
    CFakeSerialDevice device;
    CProfile profile = CProfile::InMemory();
    CProgram program{host, device, profile};
    program.LoadSettingsAtStartup();
    program.OpenPortAtStartup();
    program.Session().StartPolling();
    CHistoryStore store(Options());
    CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
    program.Session().AddObserver(recorder);
    program.Session().DispatchSentence("PRID,16,600-1000-01");
    program.Session().DispatchSentence("EFER,1.23E-11");
    program.Session().DispatchSentence("TIME,2026,341,10,00,18,1,3,1");
    // Setup > Antenna Delay, OK: polling stops, the port is closed and
    // reopened, polling resumes. The recorder hears a pause, not a loss.
    host.m_onDialog = [](CDialogModel& dlg) { dlg.PressEnter(); };
    program.OnCommand(ID_SETUP_ANTENNA_DELAY);
    ASSERT_TRUE(program.Session().IsPolling());
    m_llNow += 1000;
    program.Session().DispatchSentence("TIME,2026,341,10,00,19,1,3,1");
    // A real loss while paused is a loss; a close of the port outside any
    // pause is one too (the serial-port dialog's reopening).
    recorder.OnObservation(CObservation{LinkEvent::PollingPaused, 0, {}, {}, program.Session().State(), program.Session().Readings(), 0});
    recorder.OnObservation(CObservation{LinkEvent::PortLost, 0, {}, {}, program.Session().State(), program.Session().Readings(), 0});
    recorder.OnObservation(CObservation{LinkEvent::PollingResumed, 0, {}, {}, program.Session().State(), program.Session().Readings(), 0});
    m_llNow += 1000;
    program.Session().DispatchSentence("TIME,2026,341,10,00,20,1,3,1");
    recorder.OnObservation(CObservation{LinkEvent::PortClosed, 0, {}, {}, program.Session().State(), program.Session().Readings(), 0});
    m_llNow += 1000;
    program.Session().DispatchSentence("TIME,2026,341,10,00,21,1,3,1");
    // A restart outweighs the pause that follows it.
    recorder.MarkUnitRestarted();
    recorder.MarkPollingPaused();
    m_llNow += 1000;
    program.Session().DispatchSentence("TIME,2026,341,10,00,22,1,3,1");
    program.Session().RemoveObserver(recorder);
    recorder.Stop();
    ASSERT_TRUE(store.Flush());

    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const auto rows = query.ReadRows(query.ListUnits().at(0).m_llId, 0, kT0 + 86400000);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].m_marker, HistoryMarker::None) << "nothing was recorded before: no restart";
    EXPECT_EQ(rows[0].m_dFrequencyError, 1.23e-11);
    EXPECT_EQ(rows[1].m_marker, HistoryMarker::PollingPaused);
    EXPECT_STREQ(HistoryMarkerName(rows[1].m_marker), "polling_paused");
    EXPECT_FALSE(rows[1].m_dFrequencyError) << "nothing from before the pause is carried over";
    EXPECT_EQ(rows[2].m_marker, HistoryMarker::LinkLost);
    EXPECT_EQ(rows[3].m_marker, HistoryMarker::LinkLost);
    EXPECT_EQ(rows[4].m_marker, HistoryMarker::UnitRestarted);
}

TEST_F(HistoryTest, AUnitWithoutTimeReportsGetsARowPerSecondWhileItReports)
{
    CHistoryStore store(Options());
    CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
    for (int i = 0; i < 25; ++i) {  // five seconds of 200 ms ticks
        m_qwTick = 1000000 + static_cast<std::uint64_t>(i) * 200;
        m_llNow = kT0 + i * 200;
        if (i < 11) {
            m_state.m_strTemperature = "41.5";
            Report(recorder, Reported::Temperature, "TEMP");
        }
        recorder.OnTick(m_qwTick);
    }
    ASSERT_TRUE(store.Flush());
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const auto rows = query.ReadRows(query.ListUnits().at(0).m_llId, 0, kT0 + 86400000);
    // Reports from 0 to 2 s: a row a second after the first of its readings,
    // then silence writes none.
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].m_llHostMs, kT0 + 1000);
    EXPECT_EQ(rows[1].m_llHostMs, kT0 + 2200);
    EXPECT_EQ(rows[1].m_dTemperatureC, 41.5);
    EXPECT_FALSE(rows[1].m_llUnitUtcMs);
    EXPECT_FALSE(rows[1].m_llUnitSecond);
}

TEST_F(HistoryTest, ADamagedFileStopsRecordingWithAClearTextAndNothingElse)
{
    {
        std::ofstream garbage(m_path, std::ios::binary);
        for (int i = 0; i < 4096; ++i) garbage.put(static_cast<char>(i * 37 + 11));
    }
    CHistoryStore store(Options());
    CHistoryRecorder recorder(store, "/dev/ttyS0");
    // The program keeps calling in whatever the store's state.
    for (int s = 0; s < 5; ++s) {
        TimeReport(recorder, s);
        recorder.OnTick(m_qwTick += 200);
        store.AppendEvent(kT0, "alarm", "x=1");
    }
    store.Flush(2000);
    EXPECT_EQ(store.Status(), HistoryStatus::Stopped);
    const std::string text = store.StatusText();
    EXPECT_NE(text.find("History recording stopped"), std::string::npos) << text;
    EXPECT_NE(text.find(m_path), std::string::npos) << text;
    EXPECT_NE(text.find("not a history database"), std::string::npos) << text;
    std::string notice;
    EXPECT_TRUE(store.TakeStatusNotice(notice));
    EXPECT_EQ(notice, text);
    EXPECT_FALSE(store.TakeStatusNotice(notice));  // shown once
    TimeReport(recorder, 6);
    EXPECT_GE(store.Counters().m_qwRowsDropped, 1u);

    CHistoryQuery query;
    std::string error;
    EXPECT_FALSE(query.Open(m_path, error));
    EXPECT_NE(error.find("not a history database"), std::string::npos) << error;
}

TEST_F(HistoryTest, AFullDiskPausesRecordingAndSaysSo)
{
    CHistoryOptions options = Options();
    options.m_llMaxPageCount = 24;  // a disk of about 100 kB
    CHistoryStore store(options);
    CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
    m_state.m_strFreqErrorEstimate = "1.5E-12";
    Report(recorder, Reported::FrequencyError, "EFER");
    for (int s = 0; s < 3000 && store.Status() != HistoryStatus::Paused; ++s) {
        m_llNow += 1000;
        m_state.m_nLastTimeDiff = s;
        Report(recorder, Reported::PpsOffset, "TIMD");
        TimeReport(recorder, s);
        if (s % 100 == 99) store.Flush(2000);
    }
    ASSERT_EQ(store.Status(), HistoryStatus::Paused) << store.StatusText();
    const std::string text = store.StatusText();
    EXPECT_NE(text.find("disk is full"), std::string::npos) << text;
    EXPECT_NE(text.find(m_path), std::string::npos) << text;
    // Still accepted, kept for when space returns.
    TimeReport(recorder, 3001);
    EXPECT_FALSE(store.Flush(300));
    std::string notice;
    EXPECT_TRUE(store.TakeStatusNotice(notice));
}

TEST_F(HistoryTest, ADatabaseLockedByAnotherProgramPausesAndResumesWithoutLosingRows)
{
    CHistoryOptions options = Options();
    options.m_nBusyTimeoutMs = 50;
    options.m_nRetryIntervalMs = 50;
    CHistoryStore store(options);
    CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
    TimeReport(recorder, 0);
    ASSERT_TRUE(store.Flush());

    CSqliteDb other;
    ASSERT_EQ(other.Open(m_path, SQLITE_OPEN_READWRITE), SQLITE_OK);
    ASSERT_EQ(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    m_llNow += 1000;
    TimeReport(recorder, 1);
    EXPECT_FALSE(store.Flush(1000));
    EXPECT_EQ(store.Status(), HistoryStatus::Paused);
    EXPECT_NE(store.StatusText().find("locked"), std::string::npos) << store.StatusText();
    std::string notice;
    EXPECT_TRUE(store.TakeStatusNotice(notice));

    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    other.Close();
    recorder.Stop();
    EXPECT_TRUE(store.Flush());
    EXPECT_EQ(store.Status(), HistoryStatus::Recording);
    EXPECT_TRUE(store.TakeStatusNotice(notice));
    EXPECT_NE(notice.find("resumed"), std::string::npos) << notice;
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    EXPECT_EQ(query.ListUnits().at(0).m_llRowCount, 2);
}

TEST_F(HistoryTest, OldRowsArePrunedWhileTheRollupsStay)
{
    constexpr std::int64_t day = 86400000;
    constexpr std::int64_t old = kT0 - 40 * day;
    {
        CHistoryOptions options = Options();
        options.m_clock = [] { return old; };  // nothing is old yet
        CHistoryStore store(options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        m_llNow = old;
        for (int s = 0; s < 120; ++s, m_llNow += 1000) {
            m_state.m_nLastTimeDiff = s % 7;
            Report(recorder, Reported::PpsOffset, "TIMD");
            TimeReport(recorder, s);
        }
        m_llNow = kT0 - 60000;
        Report(recorder, Reported::PpsOffset, "TIMD");
        TimeReport(recorder, 0);
        ASSERT_TRUE(store.Flush());
    }
    {
        CHistoryStore store(Options());  // now: 30 days keep raw rows
        ASSERT_TRUE(store.Flush());
    }
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const auto units = query.ListUnits();
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].m_llRowCount, 1);
    EXPECT_TRUE(query.ReadRows(units[0].m_llId, old, old + 120000).empty());
    // A plot of the old minutes still finds their envelope.
    const auto series = query.ReadSeries(units[0].m_llId, HistoryQuantity::PpsOffset, old, old + 120000, 100);
    ASSERT_TRUE(series.m_bFromRollups);
    ASSERT_EQ(series.m_points.size(), 2u);
    EXPECT_EQ(series.m_points[0].m_llCount, 60);
    EXPECT_EQ(series.m_points[0].m_dMin, 0);
    EXPECT_EQ(series.m_points[0].m_dMax, 6);
}

TEST_F(HistoryTest, PhaseSegmentsBreakAtLinkLossAndGapsAndKnowWhenTheUnitWasLocked)
{
    CHistoryStore store(Options());
    CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
    // Seconds 0-3, link lost, 4-5, a 10 s silence, 16-17 coasting.
    const int seconds[] = {0, 1, 2, 3, 4, 5, 16, 17};
    for (int s : seconds) {
        if (s == 4) recorder.OnObservation(CObservation{LinkEvent::PortLost, 0, {}, {}, m_state, m_readings, m_qwTick});
        m_llNow = kT0 + s * 1000;
        m_state.m_nLastTimeDiff = 10 + s;
        Report(recorder, Reported::PpsOffset, "TIMD");
        TimeReport(recorder, s, s < 16 ? '1' : '2');
    }
    recorder.Stop();
    ASSERT_TRUE(store.Flush());
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const auto phase = query.ReadPhase(query.ListUnits().at(0).m_llId, kT0, kT0 + 60000, 0);
    ASSERT_EQ(phase.size(), 8u);
    std::string starts;
    for (const CPhaseSample& p : phase) starts += p.m_bSegmentStart ? 'S' : '.';
    EXPECT_EQ(starts, "S...S.S.");
    EXPECT_DOUBLE_EQ(phase[5].m_dPhaseSeconds, 15e-9);
    EXPECT_TRUE(phase[5].m_bLocked);
    EXPECT_FALSE(phase[6].m_bLocked);
}

TEST(HistoryTime, UnitTimeIsUtcOnlyWhenExact)
{
    EXPECT_EQ(UnitTimeToUtcMs(2026, "341:10:00:00", 'U', std::nullopt), kT0);
    EXPECT_EQ(UnitTimeToUtcMs(2026, "341:10:00:18", 'G', 18), kT0);
    EXPECT_FALSE(UnitTimeToUtcMs(2026, "341:10:00:18", 'G', std::nullopt));  // leap seconds unknown
    EXPECT_FALSE(UnitTimeToUtcMs(2026, "341:10:00:00", '3', 0));            // local time
    EXPECT_FALSE(UnitTimeToUtcMs(2026, "341:1O:00:00", 'U', 0));
    EXPECT_FALSE(UnitTimeToUtcMs(2026, "366:10:00:00", 'U', 0));
    EXPECT_EQ(ParseIsoUtc("2026-12-07T10:00:00Z"), kT0);
    EXPECT_EQ(ParseIsoUtc("2026-12-07"), kT0 - 10 * 3600000);
    EXPECT_FALSE(ParseIsoUtc("2026-02-29T00:00:00Z"));
    EXPECT_EQ(FormatIsoUtcMs(kT0 + 5), "2026-12-07T10:00:00.005Z");
}

}  // namespace
}  // namespace velmor
