// The alarm monitor fed with observations over a unit state, as the program
// hands them: one event per transition that holds 5 s, none for flapping,
// none for the baseline; and the daily log those events go to.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "alarms/AlarmMonitor.h"
#include "alarms/EventLog.h"
#include "settings/Profile.h"

namespace velmor {
namespace {

class AlarmMonitorTest : public ::testing::Test {
protected:
    CUnitState m_state;
    CAlarmSettings m_settings;
    std::vector<std::string> m_events;
    CAlarmMonitor m_monitor{m_settings, [this](const CAlarmEvent& event) {
                                m_events.push_back(event.m_strName + "@" + std::to_string(event.m_qwTick));
                            }};

    void Report(std::uint64_t tick, Reported what, std::string_view keyword = "TIME")
    {
        m_monitor.OnObservation({LinkEvent::SentenceHandled, static_cast<std::uint32_t>(what), keyword, {}, m_state, tick});
    }
    // A link event at |tick|, after the 200 ms poll ticks up to it.
    void Link(std::uint64_t tick, LinkEvent event)
    {
        PollUntil(tick);
        m_monitor.OnObservation({event, 0, {}, {}, m_state, tick});
    }
    void PollUntil(std::uint64_t tick)
    {
        for (; m_qwPolled + 200 <= tick; m_qwPolled += 200) m_monitor.Tick(m_qwPolled + 200);
    }
    std::uint64_t m_qwPolled = 0;
    // A TIME report every second from |from| to |to| with the state |discipline|.
    void TimeReports(std::uint64_t from, std::uint64_t to, char discipline)
    {
        m_state.m_chDisciplineState = discipline;
        for (std::uint64_t t = from; t <= to; t += 1000) Report(t, Reported::DisciplineState | Reported::Tfom);
    }
};

TEST_F(AlarmMonitorTest, BaselineAfterIdentificationThenOneEventPerTransitionThatHolds)
{
    // Start-up values before identification, then a unit coasting from the
    // first report: neither tells anything.
    m_state.m_chDisciplineState = '1';
    Report(0, Reported::DisciplineState);
    m_state.m_bIdentified = true;
    TimeReports(1000, 20000, '2');
    EXPECT_TRUE(m_events.empty());

    // Locked: told once, 5 s after the first locked report, both events.
    TimeReports(21000, 25000, '1');
    EXPECT_TRUE(m_events.empty()) << "4 s is not enough";
    m_monitor.Tick(25999);
    EXPECT_TRUE(m_events.empty());
    m_monitor.Tick(26000);
    EXPECT_EQ(m_events, (std::vector<std::string>{"lock-regained@26000", "holdover-ended@26000"}));
    TimeReports(27000, 60000, '1');
    EXPECT_EQ(m_events.size(), 2u) << "a state that stays is told once";

    // Flapping every 2 s for a minute: no storm, not even one event.
    m_events.clear();
    for (std::uint64_t t = 61000; t < 121000; t += 4000) {
        TimeReports(t, t + 1000, '2');
        TimeReports(t + 2000, t + 3000, '1');
    }
    m_monitor.Tick(200000);
    EXPECT_TRUE(m_events.empty());

    // Warm-up (a restart) is lock lost without holdover.
    TimeReports(200000, 206000, '0');
    EXPECT_EQ(m_events, (std::vector<std::string>{"lock-lost@205000"}));
}

TEST_F(AlarmMonitorTest, ThresholdsSelfTestAndLineEvents)
{
    m_settings.m_nPpsLimitNs = 100;
    m_state.m_bIdentified = true;
    m_state.m_nLastTimeDiff = 20;
    m_state.m_strTemperature = "045.0";
    m_state.m_strBuiltInTest = "0000000";
    Report(0, Reported::PpsOffset | Reported::Temperature);
    Report(0, Reported::SelfTest, "BT");
    m_state.m_nLastTimeDiff = -101;       // beyond either way
    m_state.m_strTemperature = "071.0";   // above the default 70
    m_state.m_strBuiltInTest = "0001000"; // position 3 is not shown: still passed
    Report(1000, Reported::PpsOffset | Reported::Temperature);
    Report(1000, Reported::SelfTest, "BT");
    m_state.m_strBuiltInTest = "01";      // short: the missing positions fail
    Report(2000, Reported::SelfTest, "BT");
    m_monitor.Tick(7000);
    EXPECT_EQ(m_events, (std::vector<std::string>{"self-test-failed@7000", "pps-offset-high@7000",
                                                  "temperature-out-of-range@7000"}));

    // A limit changed in the dialog holds from the next decision on; 0
    // leaves the 1PPS difference unwatched.
    m_events.clear();
    m_settings.m_nPpsLimitNs = 0;
    m_state.m_nLastTimeDiff = 5;
    Report(8000, Reported::PpsOffset);
    m_monitor.Tick(20000);
    EXPECT_TRUE(m_events.empty());

    // Stale data shorter than the hold-off tells nothing; longer tells both
    // ends. A restart is told at once; a lost port like stale data.
    m_qwPolled = 20000;
    Link(30000, LinkEvent::DataStale);
    Link(33000, LinkEvent::DataResumed);
    Link(40000, LinkEvent::DataStale);
    Link(46000, LinkEvent::UnitRestarted);
    Link(47000, LinkEvent::PortLost);
    Link(48000, LinkEvent::DataResumed);
    Link(55000, LinkEvent::PortRestored);
    PollUntil(70000);
    EXPECT_EQ(m_events, (std::vector<std::string>{"data-stale@45000", "unit-restarted@46000", "link-lost@52000",
                                                  "data-resumed@53000", "link-restored@60000"}));
}

TEST(EventLog, OneLinePerEventInTheFileOfItsUtcDayAndOneMessageWhenItCannotWrite)
{
    const auto dir = std::filesystem::temp_directory_path() / ("velmor-events-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    CAlarmEvent event;
    event.m_strName = "lock-lost";
    event.m_strValues = "state=Coasting";
    {
        CEventLog log((dir / "sub").string());
        const std::time_t lateOnDay = 1796687999;  // 2026-12-07T23:59:59Z
        ASSERT_TRUE(log.Append(event, lateOnDay));
        event.m_strName = "lock-regained";
        event.m_strValues.clear();
        ASSERT_TRUE(log.Append(event, lateOnDay + 1));
    }
    auto read = [](const std::filesystem::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    EXPECT_EQ(read(dir / "sub/events-2026-12-07.log"), "2026-12-07T23:59:59Z lock-lost state=Coasting\n");
    EXPECT_EQ(read(dir / "sub/events-2026-12-08.log"), "2026-12-08T00:00:00Z lock-regained\n");

    // A directory that cannot be made: one message, later events drop quietly.
    std::ofstream(dir / "file") << "x";
    std::vector<std::string> messages;
    CEventLog broken((dir / "file/sub").string(), [&](const std::string& text) { messages.push_back(text); });
    EXPECT_FALSE(broken.Append(event, 0));
    EXPECT_FALSE(broken.Append(event, 0));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("events-1970-01-01.log"), std::string::npos);
    std::filesystem::remove_all(dir);
}

TEST(AlarmSettings, SectionRoundTripAndHandEditedNotifyList)
{
    CProfile profile = CProfile::InMemory("[Alarms]\nNotify= tfom , LINK,bogus\nTfomLimit=\"7\"\n");
    CAlarmSettings loaded = LoadAlarmSettings(profile);
    EXPECT_EQ(loaded.m_nTfomLimit, 7);
    EXPECT_EQ(loaded.m_nPpsLimitNs, 100);
    EXPECT_TRUE(loaded.Notifies(AlarmCondition::Tfom));
    EXPECT_TRUE(loaded.Notifies(AlarmCondition::LinkLost));
    EXPECT_FALSE(loaded.Notifies(AlarmCondition::LockLost));

    loaded.m_nTemperatureLow = -20;
    loaded.m_bSound = true;
    SaveAlarmSettings(profile, loaded);
    const CAlarmSettings again = LoadAlarmSettings(profile);
    EXPECT_EQ(again.m_nTemperatureLow, -20);
    EXPECT_EQ(again.m_uNotify, loaded.m_uNotify);
    EXPECT_TRUE(again.m_bSound);
    EXPECT_EQ(LoadAlarmSettings(CProfile::InMemory("[Alarms]\nNotify=\n")).m_uNotify, 0u);
}

}  // namespace
}  // namespace velmor
