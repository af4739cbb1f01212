// What the program concludes when a unit answers again after a silence:
// always that it identified itself again, that it restarted only when its
// first reports after the answer show it (warm-up where it was in another
// state, or a time before the last one it reported in the same time mode).
// A frozen unit, or one behind a cable pulled and put back, did not restart.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Program.h"
#include "health/RestartEvidence.h"
#include "settings/Profile.h"
#include "readings/Decode.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

using Sign = CRestartEvidence::Sign;

constexpr std::uint32_t kTimeReport = static_cast<std::uint32_t>(Reported::UnitTime | Reported::TimeMode |
                                                                 Reported::Tfom | Reported::DisciplineState);

TEST(RestartEvidence, OnlyTheFirstReportsAfterTheAnswerAndOnlyWarmUpOrTimeBackCount)
{
    CUnitState state;
    CReadings readings;
    auto report = [&](CRestartEvidence& evidence, const char* dayTime, char discipline, char mode = '2') {
        state.m_nYear = 2026;
        state.m_strTimeOfDay = dayTime;
        state.m_chDisciplineState = discipline;
        state.m_chTimeMode = mode;
        UpdateReadings(readings, state, kTimeReport, "TIME", 0);
        return evidence.OnReport(readings);
    };

    // Frozen: the time goes on, the state is the one before.
    CRestartEvidence frozen;
    EXPECT_EQ(report(frozen, "341:10:00:00", '1'), Sign::None);
    frozen.OnInterruption();
    EXPECT_TRUE(frozen.IsWatching());
    frozen.OnReidentified();
    EXPECT_EQ(report(frozen, "341:10:00:15", '1'), Sign::None);
    EXPECT_FALSE(frozen.IsWatching()) << "the first time report settles it";
    // Later warm-ups and jumps are no restart without another silence.
    EXPECT_EQ(report(frozen, "341:09:00:00", '0'), Sign::None);

    // Warm-up after a locked unit; but a frozen unit's backlog before its
    // answer counts for nothing.
    CRestartEvidence warm;
    report(warm, "341:10:00:00", '2');
    warm.OnInterruption();
    EXPECT_EQ(report(warm, "341:10:00:01", '0'), Sign::None) << "before the answer";
    warm.OnReidentified();
    EXPECT_EQ(report(warm, "341:10:00:20", '0'), Sign::WarmUp);
    EXPECT_EQ(report(warm, "341:10:00:21", '0'), Sign::None) << "told once";

    // Warming up before the silence and after it: only the time can tell.
    CRestartEvidence stillWarming;
    report(stillWarming, "341:10:00:00", '0');
    stillWarming.OnInterruption();
    stillWarming.OnReidentified();
    EXPECT_EQ(report(stillWarming, "341:10:00:30", '0'), Sign::None);

    // Time back, and across a year's end; a change of time mode (GPS to UTC
    // is 18 s back) is no evidence.
    CRestartEvidence back;
    report(back, "365:23:59:59", '1');
    back.OnInterruption();
    back.OnInterruption();  // stale, then the port lost: the same values
    back.OnReidentified();
    EXPECT_EQ(report(back, "365:23:59:50", '1'), Sign::TimeBack);
    CRestartEvidence mode;
    report(mode, "341:10:00:18", '1', '1');
    mode.OnInterruption();
    mode.OnReidentified();
    EXPECT_EQ(report(mode, "341:10:00:05", '1', '2'), Sign::None);

    // Silent with the recovery off: reports resume without an answer. The
    // next silence compares with what the unit reported last, not with
    // what it said before the first one.
    CRestartEvidence unanswered;
    report(unanswered, "341:10:00:00", '1');
    unanswered.OnInterruption();
    EXPECT_EQ(report(unanswered, "341:10:00:30", '0'), Sign::None);
    unanswered.OnInterruption();
    unanswered.OnReidentified();
    EXPECT_EQ(report(unanswered, "341:10:01:00", '0'), Sign::None);

    // The unit's time as sent: garbage compares with nothing.
    EXPECT_LT(*UnitClockSeconds(2026, "365:23:59:60"), *UnitClockSeconds(2027, "001:00:00:00"));
    EXPECT_LT(*UnitClockSeconds(2026, "341:23:59:59"), *UnitClockSeconds(2026, "342:00:00:00"));
    for (const char* bad : {"", "341:10:00", "341:24:00:00", "000:10:00:00", "367:10:00:00", "341:1O:00:00",
                            "341-10:00:00", "341:10:00:61", "341:10:00:00 "})
        EXPECT_FALSE(UnitClockSeconds(2026, bad)) << bad;
    EXPECT_FALSE(UnitClockSeconds(-1, "341:10:00:00"));
    CRestartEvidence garbage;
    report(garbage, "341:10:00:00", '1');
    garbage.OnInterruption();
    garbage.OnReidentified();
    EXPECT_EQ(report(garbage, "??????", '1'), Sign::None);
}

// The program's side: what its observers hear, in order.
class EventConclusionsTest : public ::testing::Test, private IUnitObserver {
protected:
    void SetUp() override
    {
        m_device.m_bOpen = false;
        m_program.LoadSettingsAtStartup();
        m_program.OpenPortAtStartup();
        ASSERT_TRUE(m_program.Session().IsPortOpen());
        m_program.Session().StartPolling();
        m_program.Session().AddObserver(*this);
        m_program.Session().DispatchSentence("PRID,16,512-6200-04");
    }
    void TearDown() override { m_program.Session().RemoveObserver(*this); }

    void OnObservation(const CObservation& o) override
    {
        switch (o.m_event) {
        case LinkEvent::DataStale: m_seen.push_back("stale"); break;
        case LinkEvent::AutoRecovery: m_seen.push_back("recovery"); break;
        case LinkEvent::UnitReidentified: m_seen.push_back("reidentified"); break;
        case LinkEvent::UnitRestarted: m_seen.push_back("restarted"); break;
        case LinkEvent::SentenceHandled: m_seen.push_back(std::string(o.m_keyword)); break;
        default: break;
        }
    }
    // Poll ticks until the recovery has polled again.
    void SilenceUntilRecovery()
    {
        const std::uint64_t recoveries = m_program.Session().Health().Counters().m_qwRecoveries;
        for (int i = 0; i < 100 && m_program.Session().Health().Counters().m_qwRecoveries == recoveries; ++i) {
            m_host.Advance(200);
            m_program.OnPollTimer();
        }
        ASSERT_GT(m_program.Session().Health().Counters().m_qwRecoveries, recoveries);
    }
    std::vector<std::string> Answer(const char* time)
    {
        m_seen.clear();
        m_program.Session().DispatchSentence("PRID,16,512-6200-04");
        m_program.Session().DispatchSentence(time);
        return m_seen;
    }

    CFakeHost m_host;
    CFakeSerialDevice m_device;
    CProfile m_profile = CProfile::InMemory();
    CProgram m_program{m_host, m_device, m_profile};
    std::vector<std::string> m_seen;
};

TEST_F(EventConclusionsTest, FrozenUnitIsReidentifiedRestartedOneIsToldBeforeItsFirstReport)
{
    m_program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
    SilenceUntilRecovery();
    EXPECT_EQ(m_seen, (std::vector<std::string>{"PRID", "TIME", "stale", "recovery"}));
    // Frozen for 15 s: it answers, its time has gone on, still locked.
    EXPECT_EQ(Answer("TIME,2026,341,10,00,15,2,3,1"), (std::vector<std::string>{"reidentified", "PRID", "TIME"}));

    // Switched off and on: warming up.
    SilenceUntilRecovery();
    EXPECT_EQ(Answer("TIME,2026,341,10,00,30,2,3,0"),
              (std::vector<std::string>{"reidentified", "PRID", "restarted", "TIME"}));

    // Restarted with its time set back (warm-up before and after).
    SilenceUntilRecovery();
    EXPECT_EQ(Answer("TIME,2026,341,09,00,00,2,3,0"),
              (std::vector<std::string>{"reidentified", "PRID", "restarted", "TIME"}));

    // A setup dialog's stop and start of polling is no silence: its PRID
    // answer is no re-identification.
    m_program.Session().StopPolling();
    m_program.Session().StartPolling();
    EXPECT_EQ(Answer("TIME,2026,341,09,00,05,2,3,0"), (std::vector<std::string>{"PRID", "TIME"}));
}

}  // namespace
}  // namespace velmor
