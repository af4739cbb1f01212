// The alarm monitor fed with observations over a unit state, as the program
// hands them: one event per transition that holds 5 s, none for flapping,
// none for the baseline; and the daily log those events go to.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "alarms/AlarmMonitor.h"
#include "alarms/EventLog.h"
#include "alarms/QueuedEventLog.h"
#include "alarms/EventSentence.h"
#include "readings/Decode.h"
#include "settings/Profile.h"

namespace velmor {
namespace {

class AlarmMonitorTest : public ::testing::Test {
protected:
    CUnitState m_state;
    CReadings m_readings;
    CAlarmSettings m_settings;
    std::vector<std::string> m_events;
    CAlarmMonitor m_monitor{m_settings, [this](const CAlarmEvent& event) {
                                m_events.push_back(event.m_strName + "@" + std::to_string(event.m_qwTick));
                            }};

    void Report(std::uint64_t tick, Reported what, std::string_view keyword = "TIME")
    {
        UpdateReadings(m_readings, m_state, static_cast<std::uint32_t>(what), keyword, tick);
        m_monitor.OnObservation(
            {LinkEvent::SentenceHandled, static_cast<std::uint32_t>(what), keyword, {}, m_state, m_readings, tick});
    }
    // A link event at |tick|, after the 200 ms poll ticks up to it.
    void Link(std::uint64_t tick, LinkEvent event)
    {
        PollUntil(tick);
        m_monitor.OnObservation({event, 0, {}, {}, m_state, m_readings, tick});
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
    // The first lock since the unit identified itself is acquired, not regained.
    EXPECT_EQ(m_events, (std::vector<std::string>{"lock-acquired@26000", "holdover-ended@26000"}));
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
    Link(45500, LinkEvent::UnitReidentified);
    Link(46000, LinkEvent::UnitRestarted);
    Link(47000, LinkEvent::PortLost);
    Link(48000, LinkEvent::DataResumed);
    Link(55000, LinkEvent::PortRestored);
    PollUntil(70000);
    EXPECT_EQ(m_events, (std::vector<std::string>{"data-stale@45000", "unit-reidentified@45500",
                                                  "unit-restarted@46000", "link-lost@52000", "data-resumed@53000",
                                                  "link-restored@60000"}));
}

// Lock names follow what the unit did since it last identified itself:
// acquired the first time, regained after a loss; after a re-identification
// a unit that reports itself locked at once has its lock, one that warms up
// acquires it anew.
TEST_F(AlarmMonitorTest, FirstLockAfterStartOrReidentificationIsAcquiredLaterOnesRegained)
{
    m_state.m_bIdentified = true;
    TimeReports(0, 2000, '0');  // warming up from the start
    TimeReports(3000, 9000, '1');
    TimeReports(10000, 16000, '3');  // recovering: lock lost, no holdover
    TimeReports(17000, 23000, '1');
    EXPECT_EQ(m_events, (std::vector<std::string>{"lock-acquired@8000", "lock-lost@15000", "lock-regained@22000"}));

    // Frozen for a while, then it answers again still locked: later losses
    // and locks are the same unit's, regained.
    m_events.clear();
    Link(40000, LinkEvent::UnitReidentified);
    TimeReports(40000, 41000, '1');
    TimeReports(42000, 48000, '2');
    TimeReports(49000, 55000, '1');
    EXPECT_EQ(m_events, (std::vector<std::string>{"unit-reidentified@40000", "lock-lost@47000", "holdover-started@47000",
                                                  "lock-regained@54000", "holdover-ended@54000"}));

    // Restarted: it answers warming up; its next lock is its first.
    m_events.clear();
    Link(60000, LinkEvent::UnitReidentified);
    Link(60000, LinkEvent::UnitRestarted);
    TimeReports(60000, 66000, '0');
    TimeReports(67000, 73000, '1');
    EXPECT_EQ(m_events, (std::vector<std::string>{"unit-reidentified@60000", "unit-restarted@60000", "lock-lost@65000",
                                                  "lock-acquired@72000"}));

    // A baseline that is locked already has its lock: the next one is regained.
    CAlarmMonitor fresh{m_settings, [this](const CAlarmEvent& event) { m_events.push_back(event.m_strName); }};
    m_events.clear();
    for (const auto& [tick, discipline] : {std::pair{0, '1'}, {1000, '2'}, {7000, '1'}, {13000, '1'}}) {
        m_state.m_chDisciplineState = discipline;
        fresh.OnObservation({LinkEvent::SentenceHandled, static_cast<std::uint32_t>(Reported::DisciplineState), "TIME",
                             {}, m_state, m_readings, static_cast<std::uint64_t>(tick)});
    }
    EXPECT_EQ(m_events, (std::vector<std::string>{"lock-lost", "holdover-started", "lock-regained", "holdover-ended"}));
}

// What an event carries besides its name: the unit, its discipline state,
// when the condition began (before the hold-off), and the notification
// choice it falls under. Polling pauses are moments, told once each.
TEST_F(AlarmMonitorTest, EventsCarryUnitStateSinceAndTheirChoiceAndPausesAreToldOnce)
{
    std::vector<CAlarmEvent> told;
    CAlarmMonitor monitor{m_settings, [&](const CAlarmEvent& event) { told.push_back(event); }};
    auto report = [&](std::uint64_t tick, char discipline) {
        m_state.m_chDisciplineState = discipline;
        monitor.OnObservation({LinkEvent::SentenceHandled,
                               static_cast<std::uint32_t>(Reported::DisciplineState | Reported::Identification), "TIME",
                               {}, m_state, m_readings, tick});
    };
    auto link = [&](std::uint64_t tick, LinkEvent event) {
        monitor.OnObservation({event, 0, {}, {}, m_state, m_readings, tick});
    };
    m_state.m_bIdentified = true;
    m_state.m_strPartNumber = "512-6200-04";
    report(1000, '1');
    report(2000, '2');
    monitor.Tick(7000);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].m_event, UnitEvent::LockLost);
    EXPECT_EQ(told[0].m_condition, AlarmCondition::LockLost);
    EXPECT_TRUE(told[0].m_bRaised);
    EXPECT_EQ(told[0].m_strPartNumber, "512-6200-04");
    EXPECT_EQ(told[0].m_chDiscipline, '2');
    EXPECT_EQ(told[0].m_qwSinceTick, 2000u);
    EXPECT_EQ(told[0].m_qwTick, 7000u);
    EXPECT_EQ(told[1].m_event, UnitEvent::HoldoverStarted);
    EXPECT_EQ(told[1].m_strValues, "state=Coasting");

    told.clear();
    link(8000, LinkEvent::PollingResumed);  // nothing was paused
    link(9000, LinkEvent::PollingPaused);
    link(9500, LinkEvent::PollingPaused);
    link(12000, LinkEvent::PollingResumed);
    link(12100, LinkEvent::PollingResumed);
    link(13000, LinkEvent::UnitReidentified);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0].m_strName, "polling-paused");
    EXPECT_EQ(told[0].m_condition, AlarmCondition::Polling);
    EXPECT_EQ(told[0].m_qwSinceTick, 9000u);
    EXPECT_EQ(told[1].m_strName, "polling-resumed");
    EXPECT_FALSE(told[1].m_bRaised);
    EXPECT_EQ(told[2].m_event, UnitEvent::UnitReidentified);
    EXPECT_EQ(told[2].m_condition, AlarmCondition::UnitRestarted);
    EXPECT_EQ(told[2].m_strValues, "unit=512-6200-04");
}

TEST(UnitEvents, OneListOfNamesWithUrgency)
{
    std::set<std::string> names;
    for (int i = 0; i < kUnitEventCount; ++i) {
        const auto event = static_cast<UnitEvent>(i);
        const std::string name = UnitEventName(event);
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(UnitEventFromName(name), event) << name;
        // Critical only where the operator must act at once.
        const bool critical = event == UnitEvent::LockLost || event == UnitEvent::HoldoverStarted ||
                              event == UnitEvent::LinkLost;
        EXPECT_EQ(UnitEventUrgency(event), critical ? EventUrgency::Critical : EventUrgency::Normal) << name;
    }
    for (const char* name : {"lock-acquired", "lock-regained", "lock-lost", "holdover-started", "holdover-ended",
                             "polling-paused", "polling-resumed", "link-lost", "link-restored", "data-stale",
                             "data-resumed", "unit-reidentified", "unit-restarted", "self-test-failed",
                             "self-test-passed", "tfom-high", "tfom-normal", "pps-offset-high", "pps-offset-normal",
                             "temperature-out-of-range", "temperature-normal"})
        EXPECT_TRUE(names.count(name)) << name;
    EXPECT_FALSE(UnitEventFromName("Lock-Lost"));
    EXPECT_FALSE(UnitEventFromName(""));
    // Every condition's events are in the list; a lock gained is named by the monitor.
    EXPECT_STREQ(AlarmEventName(AlarmCondition::LockLost, true), "lock-lost");
    EXPECT_STREQ(AlarmEventName(AlarmCondition::Polling, true), "polling-paused");
    EXPECT_STREQ(AlarmEventName(AlarmCondition::LinkLost, false), "link-restored");
}

TEST(EventSentence, PartNumberStateAndUtcTimeInOnePlainSentence)
{
    const std::time_t since = 1796664063;  // 2026-12-07T17:21:03Z
    CAlarmEvent event;
    event.m_event = UnitEvent::LockLost;
    event.m_strPartNumber = "512-6200-04";
    event.m_chDiscipline = '2';
    EXPECT_EQ(EventSentence(event, since), "GPS lock lost: unit 512-6200-04 is in holdover since 17:21:03 UTC");
    event.m_chDiscipline = '0';
    EXPECT_EQ(EventSentence(event, since), "GPS lock lost: unit 512-6200-04 is warming up since 17:21:03 UTC");
    event.m_chDiscipline = 'x';
    EXPECT_EQ(EventSentence(event, since), "GPS lock lost: unit 512-6200-04 is not locked since 17:21:03 UTC");

    event.m_event = UnitEvent::LockAcquired;
    EXPECT_EQ(EventSentence(event, since), "GPS lock acquired: unit 512-6200-04 is time-locked since 17:21:03 UTC");
    event.m_event = UnitEvent::LinkLost;
    EXPECT_EQ(EventSentence(event, since),
              "Link lost: the line to unit 512-6200-04 is down since 17:21:03 UTC; reconnecting");
    event.m_event = UnitEvent::UnitReidentified;
    EXPECT_EQ(EventSentence(event, since),
              "Unit identified again: unit 512-6200-04 answered again at 17:21:03 UTC after a silence");
    // Threshold events keep their values.
    event.m_event = UnitEvent::PpsOffsetHigh;
    event.m_strValues = "offset=150 ns limit=100 ns";
    EXPECT_EQ(EventSentence(event, since), "1PPS offset high: unit 512-6200-04 reports a 1PPS offset beyond the "
                                           "limit since 17:21:03 UTC (offset=150 ns limit=100 ns)");

    // Before identification, and with what a unit should not send.
    event.m_event = UnitEvent::DataStale;
    event.m_strValues.clear();
    event.m_strPartNumber.clear();
    EXPECT_EQ(EventSentence(event, since), "Data stale: no time report from the unit since 17:21:03 UTC");
    event.m_strPartNumber = std::string("\x01\n<b>", 5) + std::string(60, '9');
    const std::string sentence = EventSentence(event, since);
    EXPECT_EQ(sentence.find('\n'), std::string::npos);
    // No markup reaches a notification server that would read it.
    EXPECT_EQ(sentence, "Data stale: no time report from unit b" + std::string(31, '9') + " since 17:21:03 UTC");
    // Every event has a sentence that starts with its title.
    for (int i = 0; i < kUnitEventCount; ++i) {
        event.m_event = static_cast<UnitEvent>(i);
        EXPECT_EQ(EventSentence(event, since).rfind(std::string(UnitEventTitle(event.m_event)) + ": ", 0), 0u);
    }
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

// The queued log keeps the order of the events, writes all of them before a
// flush returns or the log goes away, and still says once that it failed.
TEST(EventLog, TheQueuedLogWritesInOrderOffTheCallersThread)
{
    const auto dir = std::filesystem::temp_directory_path() / ("velmor-queued-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    CAlarmEvent event;
    const std::time_t noon = 1796644800;  // 2026-12-07T12:00:00Z
    std::string expected;
    {
        CQueuedEventLog log(dir.string());
        for (int i = 0; i < 200; ++i) {
            event.m_strName = "tfom-high";
            event.m_strValues = "tfom=" + std::to_string(i);
            log.Append(event, noon);
            expected += "2026-12-07T12:00:00Z tfom-high tfom=" + std::to_string(i) + "\n";
            if (i == 99) {
                log.Flush();
                std::ifstream in(dir / "events-2026-12-07.log");
                std::stringstream text;
                text << in.rdbuf();
                EXPECT_EQ(text.str(), expected) << "a flush waits for what was queued before it";
            }
        }
    }  // the rest is drained as the log goes away
    std::ifstream in(dir / "events-2026-12-07.log");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), expected);

    std::ofstream(dir / "file") << "x";
    std::vector<std::string> messages;
    {
        CQueuedEventLog broken((dir / "file/sub").string(), [&](const std::string& m) { messages.push_back(m); });
        broken.Append(event, 0);
        broken.Append(event, 0);
        broken.Flush();
    }
    EXPECT_EQ(messages.size(), 1u);
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
