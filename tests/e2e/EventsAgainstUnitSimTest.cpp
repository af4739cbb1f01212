// The events and history markers a real line gives, against the simulated
// unit: a unit frozen for 15 s (SIGSTOP) is identified again but did not
// restart; a cable pulled and put back is a lost link, not a restart; a unit
// switched off and on (SIGUSR2) restarted, and its next lock is acquired.
// The program's clock runs ten times real time, as the unit's does.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "alarms/AlarmMonitor.h"
#include "e2e/UnitSimSession.h"
#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMOR_EVENTS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMOR_EVENTS_ASAN 1
#endif
#endif

namespace velmor::e2e {
namespace {

constexpr int kSpeed = 10;

// A session with the alarms and the history recording attached, as the
// desktop program has them.
class CWatchedSession {
public:
    explicit CWatchedSession(const std::string& device)
        : m_dir(std::filesystem::temp_directory_path() /
                ("velmor-e2e-events-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          m_session(device)
    {
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        CHistoryOptions options;
        options.m_strPath = (m_dir / "history.sqlite3").string();
        m_pStore = std::make_unique<CHistoryStore>(options);
        m_pRecorder = std::make_unique<CHistoryRecorder>(*m_pStore, device);
        m_session.m_program.Session().AddObserver(*m_pRecorder);
        m_session.m_program.Session().AddObserver(m_alarms);
    }
    ~CWatchedSession()
    {
        m_session.m_program.Session().RemoveObserver(m_alarms);
        m_session.m_program.Session().RemoveObserver(*m_pRecorder);
        m_pRecorder.reset();
        m_pStore.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    bool Run(const std::function<bool()>& done, int timeoutMs) { return m_session.RunUntil(done, timeoutMs, kSpeed); }
    bool Told(const std::string& name) const
    {
        return std::find(m_events.begin(), m_events.end(), name) != m_events.end();
    }
    std::vector<std::string> Markers()
    {
        std::vector<std::string> markers;
        if (!m_pStore->Flush()) return markers;
        CHistoryQuery query;
        std::string error;
        if (!query.Open(m_pStore->Path(), error)) return markers;
        for (const CHistoryUnit& unit : query.ListUnits())
            for (const CHistoryRow& row : query.ReadRows(unit.m_llId, 0, INT64_MAX))
                if (row.m_marker != HistoryMarker::None) markers.push_back(HistoryMarkerName(row.m_marker));
        return markers;
    }
    std::string Events() const
    {
        std::string text;
        for (const std::string& name : m_events) text += name + " ";
        return text;
    }

    std::filesystem::path m_dir;
    CSession m_session;
    CProgram& m_program = m_session.m_program;
    std::vector<std::string> m_events;
    CAlarmMonitor m_alarms{m_program.Alarms(),
                           [this](const CAlarmEvent& event) { m_events.push_back(event.m_strName); }};
    std::unique_ptr<CHistoryStore> m_pStore;
    std::unique_ptr<CHistoryRecorder> m_pRecorder;
};

bool Locked(const CProgram& program)
{
    return program.Session().State().m_bIdentified && program.Session().State().m_chDisciplineState == '1' &&
           program.Session().State().m_nYear != 1977;
}

TEST(EventsAgainstUnitSim, UnitFrozenFifteenSecondsIsIdentifiedAgainNotRestarted)
{
#ifdef VELMOR_EVENTS_ASAN
    GTEST_SKIP() << "real-time end-to-end test: normal build only";
#endif
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--type", "16", "--speed", "10", "--state", "1"}));
    CWatchedSession watched(sim.DevicePath());
    CProgram& program = watched.m_program;
    ASSERT_TRUE(watched.Run([&] { return Locked(program); }, 15000));

    ASSERT_TRUE(sim.Signal(SIGSTOP));
    const std::uint64_t frozenAt = watched.m_session.m_host.m_nTick;
    // Frozen for at least 15 s, and on past the stale warning's hold-off: a
    // loaded machine advances the program's clock in coarse steps, so the
    // warning can start late, and a unit back before its hold-off ran out
    // rightly raises none.
    std::uint64_t staleSeenAt = 0;
    EXPECT_TRUE(watched.Run(
        [&] {
            const std::uint64_t now = watched.m_session.m_host.m_nTick;
            if (staleSeenAt == 0 && program.Session().Health().IsStale()) staleSeenAt = now;
            return now >= frozenAt + 15000 && staleSeenAt != 0 && now >= staleSeenAt + CAlarmMonitor::kHoldOffMs + 1000;
        },
        30000));
    EXPECT_TRUE(program.Session().Health().IsStale());
    EXPECT_GE(program.Session().Health().Counters().m_qwRecoveries, 1u);
    ASSERT_TRUE(sim.Signal(SIGCONT));
    EXPECT_TRUE(watched.Run([&] { return watched.Told("unit-reidentified") && watched.Told("data-resumed"); }, 15000))
        << watched.Events();
    // A few more of the unit's seconds: still no restart.
    const std::uint64_t backAt = watched.m_session.m_host.m_nTick;
    watched.Run([&] { return watched.m_session.m_host.m_nTick >= backAt + 5000; }, 5000);
    EXPECT_TRUE(watched.Told("data-stale")) << watched.Events();
    EXPECT_FALSE(watched.Told("unit-restarted")) << watched.Events();
    EXPECT_FALSE(watched.Told("lock-lost")) << watched.Events();
    const std::vector<std::string> markers = watched.Markers();
    EXPECT_EQ(std::count(markers.begin(), markers.end(), "unit_restarted"), 0);
}

TEST(EventsAgainstUnitSim, CablePulledAndPutBackIsALostLinkNotARestart)
{
#ifdef VELMOR_EVENTS_ASAN
    GTEST_SKIP() << "real-time end-to-end test: normal build only";
#endif
    const std::string link =
        (std::filesystem::temp_directory_path() / ("velmor-e2e-unit-" + std::to_string(::getpid()))).string();
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--type", "16", "--speed", "10", "--state", "1", "--link", link}));
    CWatchedSession watched(link);
    CProgram& program = watched.m_program;
    ASSERT_TRUE(watched.Run([&] { return Locked(program); }, 15000));

    sim.Unplug(link);
    ASSERT_TRUE(watched.Run([&] { return program.Session().IsPortLost(); }, 10000));
    const std::uint64_t lostAt = watched.m_session.m_host.m_nTick;
    // Long enough for the hold-off: the loss is told.
    EXPECT_TRUE(watched.Run([&] { return watched.Told("link-lost"); }, 15000)) << watched.Events();
    EXPECT_GE(watched.m_session.m_host.m_nTick, lostAt + CAlarmMonitor::kHoldOffMs);

    CUnitSimProcess again;
    ASSERT_TRUE(again.Start({"--quiet", "--type", "16", "--speed", "10", "--state", "1", "--link", link}));
    EXPECT_TRUE(watched.Run([&] { return watched.Told("unit-reidentified") && watched.Told("link-restored"); }, 15000))
        << watched.Events();
    const std::uint64_t backAt = watched.m_session.m_host.m_nTick;
    watched.Run([&] { return watched.m_session.m_host.m_nTick >= backAt + 5000; }, 5000);
    EXPECT_FALSE(watched.Told("unit-restarted")) << watched.Events();
    const std::vector<std::string> markers = watched.Markers();
    EXPECT_EQ(std::count(markers.begin(), markers.end(), "link_lost"), 1) << markers.size();
    EXPECT_EQ(std::count(markers.begin(), markers.end(), "unit_restarted"), 0);
}

TEST(EventsAgainstUnitSim, UnitSwitchedOffAndOnRestartedAndAcquiresItsLockAgain)
{
#ifdef VELMOR_EVENTS_ASAN
    GTEST_SKIP() << "real-time end-to-end test: normal build only";
#endif
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--type", "16", "--speed", "10", "--state", "1", "--warmup", "20"}));
    CWatchedSession watched(sim.DevicePath());
    CProgram& program = watched.m_program;
    ASSERT_TRUE(watched.Run([&] { return Locked(program); }, 15000));

    ASSERT_TRUE(sim.Signal(SIGUSR2));
    EXPECT_TRUE(watched.Run([&] { return watched.Told("lock-acquired"); }, 20000)) << watched.Events();
    const std::string events = watched.Events();
    const auto at = [&](const char* name) { return events.find(std::string(name) + " "); };
    ASSERT_NE(at("unit-restarted"), std::string::npos) << events;
    EXPECT_LT(at("unit-reidentified"), at("unit-restarted")) << events;
    EXPECT_LT(at("unit-restarted"), at("lock-lost")) << events;
    EXPECT_LT(at("lock-lost"), at("lock-acquired")) << events;
    EXPECT_EQ(events.find("lock-regained"), std::string::npos) << events;
    const std::vector<std::string> markers = watched.Markers();
    EXPECT_EQ(std::count(markers.begin(), markers.end(), "unit_restarted"), 1);
}

}  // namespace
}  // namespace velmor::e2e
