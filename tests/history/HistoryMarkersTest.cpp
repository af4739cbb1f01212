// The markers the recorder puts on the first row after an interruption,
// as the link events tell it, and the shading periods they become: a
// setup dialog's pause (with the port it closes and opens again) is a
// pause, a pulled cable is a lost link even when the unit answers again, a
// restart needs the program's evidence, and a new recording starts marked.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "readings/Decode.h"
#include "history/HistoryStore.h"

namespace velmor {
namespace {

constexpr std::int64_t kT0 = 1796637600000;  // 2026-12-07T10:00:00Z

class HistoryMarkersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("velmor-markers-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_options.m_strPath = (m_dir / "history.sqlite3").string();
        m_options.m_nCommitIntervalMs = 50;
        m_options.m_clock = [] { return kT0; };
        m_state.m_bIdentified = true;
        m_state.m_strPartNumber = "512-6200-04";
        m_state.m_nProductType = 16;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    void Tell(CHistoryRecorder& recorder, LinkEvent event)
    {
        recorder.OnObservation(CObservation{event, 0, {}, {}, m_state, m_readings, m_qwTick});
    }
    // One time report: one row, a second after the one before.
    void Row(CHistoryRecorder& recorder)
    {
        m_llNow += 1000;
        m_qwTick += 1000;
        m_state.m_chDisciplineState = '1';
        const auto what = static_cast<std::uint32_t>(Reported::UnitTime | Reported::DisciplineState |
                                                     Reported::Identification);
        UpdateReadings(m_readings, m_state, what, "TIME", m_qwTick);
        recorder.OnObservation(CObservation{LinkEvent::SentenceHandled, what, "TIME", {}, m_state, m_readings, m_qwTick});
    }

    std::filesystem::path m_dir;
    CHistoryOptions m_options;
    CUnitState m_state;
    CReadings m_readings;
    std::uint64_t m_qwTick = 0;
    std::int64_t m_llNow = kT0;
};

TEST_F(HistoryMarkersTest, EachInterruptionMarksItsRowAndTheStrongestStays)
{
    {
        CHistoryStore store(m_options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        Tell(recorder, LinkEvent::PortOpened);
        Tell(recorder, LinkEvent::PortClosed);  // the start-up reopen: still the recorder's start
        Row(recorder);                          // 1: none (nothing recorded before it)
        Row(recorder);                          // 2: none
        // A setup dialog: polling paused, the port closed and opened again.
        Tell(recorder, LinkEvent::PollingPaused);
        Tell(recorder, LinkEvent::PortClosed);
        Tell(recorder, LinkEvent::PortOpened);
        Tell(recorder, LinkEvent::PollingResumed);
        Row(recorder);  // 3: polling_paused
        // The cable pulled and put back; the unit answers again, unrestarted.
        Tell(recorder, LinkEvent::PortClosed);
        Tell(recorder, LinkEvent::PortLost);
        Tell(recorder, LinkEvent::PortRestored);
        Tell(recorder, LinkEvent::UnitReidentified);
        Row(recorder);  // 4: link_lost
        // The device lost while a dialog held polling stopped.
        Tell(recorder, LinkEvent::PollingPaused);
        Tell(recorder, LinkEvent::PortLost);
        Tell(recorder, LinkEvent::PollingResumed);
        Row(recorder);  // 5: link_lost
        // Lost, and the unit's first report shows it restarted.
        Tell(recorder, LinkEvent::PortLost);
        Tell(recorder, LinkEvent::UnitReidentified);
        Tell(recorder, LinkEvent::UnitRestarted);
        Tell(recorder, LinkEvent::PortClosed);
        Row(recorder);  // 6: unit_restarted
        // Frozen for 15 s: stale, recovered, answered: a gap, no marker.
        m_llNow += 15000;
        Tell(recorder, LinkEvent::DataStale);
        Tell(recorder, LinkEvent::AutoRecovery);
        Tell(recorder, LinkEvent::UnitReidentified);
        Tell(recorder, LinkEvent::DataResumed);
        Row(recorder);  // 7: none
        // After the pause is over, closing the port is a lost link again.
        Tell(recorder, LinkEvent::PollingPaused);
        Tell(recorder, LinkEvent::PollingResumed);
        Tell(recorder, LinkEvent::PortClosed);
        Row(recorder);  // 8: link_lost
        // The program ends without its clean stop (it crashed).
    }
    {
        // The program runs again a minute later.
        m_llNow += 60000;
        CHistoryStore store(m_options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        Tell(recorder, LinkEvent::PortLost);
        Row(recorder);  // 9: recorder_restart (outranks the lost link)
        recorder.Stop();
    }
    {
        // After a clean stop the next recording starts unmarked: the gap
        // shows in the unit's seconds alone.
        m_llNow += 60000;
        CHistoryStore store(m_options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [this] { return m_llNow; });
        Row(recorder);  // 10: none
    }

    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_options.m_strPath, error)) << error;
    const std::int64_t unit = query.ListUnits().at(0).m_llId;
    std::vector<std::string> markers;
    for (const CHistoryRow& row : query.ReadRows(unit, 0, kT0 + 3600000)) markers.push_back(HistoryMarkerName(row.m_marker));
    EXPECT_EQ(markers, (std::vector<std::string>{"", "", "polling_paused", "link_lost", "link_lost",
                                                 "unit_restarted", "", "link_lost", "recorder_restart", ""}));

    // Each marked row but the very first ends a shaded gap of its own kind.
    std::vector<HistoryPeriodKind> kinds;
    std::vector<std::int64_t> lengths;
    for (const CHistoryPeriod& period : query.ReadPeriods(unit, 0, kT0 + 3600000)) {
        kinds.push_back(period.m_kind);
        lengths.push_back(period.m_llToMs - period.m_llFromMs);
    }
    EXPECT_EQ(kinds, (std::vector<HistoryPeriodKind>{HistoryPeriodKind::PollingPaused, HistoryPeriodKind::LinkLost,
                                                     HistoryPeriodKind::LinkLost, HistoryPeriodKind::UnitRestarted,
                                                     HistoryPeriodKind::LinkLost,
                                                     HistoryPeriodKind::RecorderRestart}));
    EXPECT_EQ(lengths.back(), 61000);
    const auto rows = query.ReadRows(unit, 0, kT0 + 3600000);
    EXPECT_EQ(rows.back().m_llHostMs - rows[rows.size() - 2].m_llHostMs, 61000);
}

TEST(HistoryMarkers, NumbersAFileMayHold)
{
    for (int n = 0; n < kHistoryMarkerCount; ++n) EXPECT_EQ(static_cast<int>(HistoryMarkerFromNumber(n)), n);
    // A file written by a later program may hold numbers this one does not know.
    EXPECT_EQ(HistoryMarkerFromNumber(kHistoryMarkerCount), HistoryMarker::None);
    EXPECT_EQ(HistoryMarkerFromNumber(-1), HistoryMarker::None);
}

}  // namespace
}  // namespace velmor
