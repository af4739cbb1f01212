// A setup dialog that stops polling: the pause shows in the link pane and to
// the observers, the repaint after its close (or the watchdog) resumes
// polling, and nothing restarts it while a modal window still holds it.

#include <algorithm>

#include "app/Menu.h"
#include "config/SetupTestSupport.h"
#include "health/LinkHealth.h"

namespace velmor {
namespace {

// The program's own conclusions, by name, in order.
class CPauseWatcher : public IUnitObserver {
public:
    void OnObservation(const CObservation& o) override
    {
        switch (o.m_event) {
        case LinkEvent::PollingPaused: m_events.push_back("paused"); break;
        case LinkEvent::PollingResumed: m_events.push_back("resumed"); break;
        case LinkEvent::PortClosed: m_events.push_back("port-closed"); break;
        case LinkEvent::BytesSent:
            // Only the two commands that frame a pause.
            if (std::string(o.m_bytes.begin(), o.m_bytes.end()).rfind("$UNSL,XXXX,1", 0) == 0)
                m_events.push_back("tx UNSL,XXXX,1");
            else if (std::string(o.m_bytes.begin(), o.m_bytes.end()).rfind("$PRID", 0) == 0)
                m_events.push_back("tx PRID");
            break;
        default: break;
        }
    }
    std::vector<std::string> m_events;
};

class PollingPauseTest : public CSetupTest {
protected:
    PollingPauseTest()
    {
        m_program.Session().AddObserver(m_watcher);
        // Identified and reporting, so the pane would say "fresh" otherwise.
        m_program.Session().DispatchSentence("PRID,16,600-1000-01");
        m_program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
        m_device.ClearWritten();
        m_host.Clear();
    }
    ~PollingPauseTest() override { m_program.Session().RemoveObserver(m_watcher); }
    CPauseWatcher m_watcher;
};

TEST_F(PollingPauseTest, CancelledDialogPausesPollingUntilThePaintAfterItsClose)
{
    bool checkedInside = false;
    OnDialog([&](CDialogModel& dlg) {
        // While the dialog is open: the pane says why nothing arrives, the
        // page is not dimmed for it, and neither a paint nor the watchdog
        // restarts polling under the open window.
        const CLinkPane pane = m_program.Session().LinkPane();
        EXPECT_EQ(pane.m_state, LinkState::Paused);
        EXPECT_EQ(pane.m_strText, "Polling paused (setup dialog open)");
        EXPECT_TRUE(m_program.Session().IsPollingPaused());
        EXPECT_FALSE(m_program.Session().IsDataDimmed());
        m_device.ClearWritten();
        std::string page;
        EXPECT_FALSE(m_program.OnPaint(page));
        EXPECT_FALSE(m_program.OnPollingWatchdog());
        m_host.Clear();
        m_program.OnModalClosed();  // a box over the dialog closed
        EXPECT_TRUE(m_host.m_log.empty()) << "the dialog's own close will come";
        EXPECT_TRUE(m_device.Writes().empty()) << m_device.Written();
        EXPECT_FALSE(m_program.Session().IsPolling());
        checkedInside = true;
        dlg.PressEscape();
    });
    m_program.OnCommand(ID_SETUP_ANTENNA_DELAY);
    ASSERT_TRUE(checkedInside);
    EXPECT_FALSE(m_program.Session().IsPolling()) << "Cancel leaves polling to the next paint";
    EXPECT_FALSE(m_program.Session().IsPollingPaused()) << "no dialog holds it any more";
    EXPECT_EQ(m_watcher.m_events, (Bodies{"paused", "tx UNSL,XXXX,1"}));

    // The desktop tells of the close; the paint it asks for resumes.
    m_host.Clear();
    m_program.OnModalClosed();
    EXPECT_EQ(m_host.m_log, (Bodies{"invalidate"}));
    m_device.ClearWritten();
    std::string page;
    EXPECT_FALSE(m_program.OnPaint(page)) << "the paint that starts polling draws nothing";
    EXPECT_TRUE(m_program.Session().IsPolling());
    const Bodies sent = Sent();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(Bodies(sent.begin(), sent.begin() + 3), (Bodies{"PRID", "PRID", "GPSE"}));
    EXPECT_EQ(m_watcher.m_events, (Bodies{"paused", "tx UNSL,XXXX,1", "resumed", "tx PRID", "tx PRID"}));
    EXPECT_EQ(m_program.Session().LinkPane().m_state, LinkState::Fresh);

    // While polling runs a close brings no repaint: no drawing, and none of
    // the queries a page may send, comes earlier than before.
    m_host.Clear();
    m_program.OnModalClosed();
    EXPECT_TRUE(m_host.m_log.empty());
}

TEST_F(PollingPauseTest, EachPauseIsToldOnceAndTheReopenInsideItIsNoLossOfTheLink)
{
    // OK: the command reopens the port and resumes by itself.
    OnDialog([&](CDialogModel& dlg) {
        Set(dlg, "Delay ns:", "5");
        dlg.PressEnter();
    });
    m_program.OnCommand(ID_SETUP_ANTENNA_DELAY);
    EXPECT_TRUE(m_program.Session().IsPolling());
    EXPECT_EQ(m_watcher.m_events,
              (Bodies{"paused", "tx UNSL,XXXX,1", "port-closed", "resumed", "tx PRID", "tx PRID"}));

    // Mode, cold start confirmed: stopped twice, paused and resumed once.
    m_watcher.m_events.clear();
    OnDialog([&](CDialogModel& dlg) {
        Click(dlg, "Cold Start");
        dlg.PressEnter();
    });
    m_program.OnCommand(ID_SETUP_MODE);
    EXPECT_TRUE(m_program.Session().IsPolling());
    EXPECT_EQ(std::count(m_watcher.m_events.begin(), m_watcher.m_events.end(), "paused"), 1);
    EXPECT_EQ(std::count(m_watcher.m_events.begin(), m_watcher.m_events.end(), "resumed"), 1);

    // The program's own stops (the identification's link restart, the baud
    // switch) are no pause: they run outside any menu command.
    m_watcher.m_events.clear();
    m_program.Session().RestartLink();
    EXPECT_EQ(std::count(m_watcher.m_events.begin(), m_watcher.m_events.end(), "paused"), 0);
    EXPECT_EQ(std::count(m_watcher.m_events.begin(), m_watcher.m_events.end(), "resumed"), 0);
}

TEST_F(PollingPauseTest, WatchdogRestartsPollingOnlyWhenNothingHoldsItStopped)
{
    EXPECT_FALSE(m_program.OnPollingWatchdog()) << "polling runs";

    m_program.Session().StopPolling();
    m_device.ClearWritten();
    m_host.m_nModalDepth = 1;
    EXPECT_FALSE(m_program.OnPollingWatchdog()) << "a modal window is open";
    m_host.m_nModalDepth = 0;
    m_program.Session().SetQueryInProgressForTest(true);
    EXPECT_FALSE(m_program.OnPollingWatchdog()) << "a query is being sent";
    m_program.Session().SetQueryInProgressForTest(false);
    m_program.Session().LinkForTest().ClosePort();
    EXPECT_FALSE(m_program.OnPollingWatchdog()) << "no port";
    m_program.Session().InitComm();
    ASSERT_TRUE(m_program.Session().IsPortOpen());
    m_device.ClearWritten();

    // Inside a menu command that holds polling stopped, even with no window
    // open (a box without owner runs its loop without being modal).
    bool checked = false;
    OnDialog([&](CDialogModel& dlg) {
        const int depth = m_host.m_nModalDepth;
        m_host.m_nModalDepth = 0;
        EXPECT_FALSE(m_program.OnPollingWatchdog());
        m_host.m_nModalDepth = depth;
        checked = true;
        dlg.PressEscape();
    });
    m_program.OnCommand(ID_SETUP_ANTENNA_DELAY);
    ASSERT_TRUE(checked);
    ASSERT_FALSE(m_program.Session().IsPolling());

    m_device.ClearWritten();
    EXPECT_TRUE(m_program.OnPollingWatchdog());
    EXPECT_TRUE(m_program.Session().IsPolling());
    EXPECT_TRUE(m_host.m_bTimerRunning);
    const Bodies sent = Sent();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(Bodies(sent.begin(), sent.begin() + 3), (Bodies{"PRID", "PRID", "GPSE"}));
    EXPECT_EQ(m_watcher.m_events.back(), "tx PRID");
    EXPECT_FALSE(m_program.OnPollingWatchdog()) << "once running, nothing more";
}

TEST(LinkPaneTest, PauseGivesWayOnlyToALostDeviceAndTheDimmedStatesAreTheUnknownOnes)
{
    CLinkHealth health;
    EXPECT_EQ(health.Pane(0, true, true).m_strText, "Polling paused (setup dialog open)");
    EXPECT_EQ(health.Pane(0, false, true).m_state, LinkState::NoPort) << "no port, nothing to pause";
    EXPECT_EQ(health.Pane(0, true, false).m_state, LinkState::Waiting);
    health.RestartSilence(0);
    ASSERT_TRUE(health.OnSilenceTick(CLinkHealth::kStaleMs, false).m_bBecameStale);
    EXPECT_EQ(health.Pane(CLinkHealth::kStaleMs, true, true).m_state, LinkState::Paused)
        << "nothing is read while paused: its silence says nothing";
    health.SetDisconnected("/dev/ttyUSB0");
    EXPECT_EQ(health.Pane(CLinkHealth::kStaleMs, true, true).m_state, LinkState::Disconnected);

    for (LinkState state : {LinkState::Disconnected, LinkState::Stale, LinkState::NoPort, LinkState::Waiting})
        EXPECT_TRUE(IsPageDimmedIn(state)) << LinkStateName(state);
    for (LinkState state : {LinkState::Late, LinkState::Fresh, LinkState::Paused})
        EXPECT_FALSE(IsPageDimmedIn(state)) << LinkStateName(state);
    EXPECT_STREQ(LinkStateName(LinkState::Paused), "paused");
}

TEST_F(PollingPauseTest, WithNoUnitThePageIsDimmedAsForStaleData)
{
    CFakeHost host;
    CFakeSerialDevice device;
    CProfile profile = CProfile::InMemory();
    CProgram program(host, device, profile);
    EXPECT_EQ(program.Session().LinkPane().m_strText, "No port open");
    EXPECT_TRUE(program.Session().IsDataDimmed());
    program.LoadSettingsAtStartup();
    program.OpenPortAtStartup();
    ASSERT_TRUE(program.Session().IsPortOpen());
    EXPECT_EQ(program.Session().LinkPane().m_strText, "Waiting for the unit");
    EXPECT_TRUE(program.Session().IsDataDimmed());
    program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
    EXPECT_EQ(program.Session().LinkPane().m_strText, "Unit data fresh");
    EXPECT_FALSE(program.Session().IsDataDimmed());
}

}  // namespace
}  // namespace velmor
