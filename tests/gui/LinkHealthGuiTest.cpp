// The link pane, the title's mark, the dimmed page and the Link Health
// window follow core's link health.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

#include "GuiTestSupport.h"
#include "LinkHealthWindow.h"
#include "MainFrame.h"
#include "TrevikView.h"
#include "app/Menu.h"
#include "app/Program.h"

namespace velmor::test {
namespace {

class LinkHealthGuiTest : public ::testing::Test, protected CWithApp {
protected:
    CRecordingHost m_host;
    CMemoryDevice m_device;
    CProfile m_profile = CProfile::InMemory();
    CProgram m_program{m_host, m_device, m_profile};
};

TEST_F(LinkHealthGuiTest, StaleDataMarksTheTitleDimsThePageUntilTheNextTimeReport)
{
    m_device.m_bOpenWorks = true;
    ASSERT_TRUE(m_program.Session().Open());
    CMainFrame frame(m_program, m_host, m_profile);
    EXPECT_EQ(frame.LinkPane()->text().toStdString(), "Waiting for the unit");
    // The pane sits left of CAP among the permanent widgets.
    QLabel* pPane = frame.LinkPane();
    ASSERT_NE(pPane, nullptr);
    const QList<QLabel*> labels = frame.statusBar()->findChildren<QLabel*>();
    EXPECT_LT(labels.indexOf(pPane), labels.indexOf(frame.statusBar()->findChild<QLabel*>("CAP")));

    m_program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
    frame.UpdateLinkState();
    EXPECT_EQ(pPane->text().toStdString(), "Unit data fresh");
    EXPECT_FALSE(frame.windowTitle().startsWith("[stale]"));
    EXPECT_FALSE(frame.View()->IsDimmed());

    const std::uint64_t now = m_host.TickCount();
    m_program.Session().HealthForTest().RestartSilence(now);
    ASSERT_TRUE(m_program.Session().HealthForTest().OnSilenceTick(now + 10000, false).m_bBecameStale);
    frame.UpdateLinkState();
    EXPECT_TRUE(pPane->text().startsWith("No data from the unit for ")) << pPane->text().toStdString();
    EXPECT_EQ(frame.windowTitle(), "[stale]   Velmor - GPS Windows User Interface Application Program");
    EXPECT_TRUE(frame.View()->IsDimmed());

    m_program.Session().DispatchSentence("TIME,2026,341,10,00,11,2,3,1");
    frame.UpdateLinkState();
    EXPECT_EQ(pPane->text().toStdString(), "Unit data fresh");
    EXPECT_EQ(frame.windowTitle(), "  Velmor - GPS Windows User Interface Application Program");
    EXPECT_FALSE(frame.View()->IsDimmed());
}

TEST_F(LinkHealthGuiTest, WindowShowsTheCountersAndResetZeroesThem)
{
    CMainFrame frame(m_program, m_host, m_profile);
    frame.Action(ID_VIEW_LINK_HEALTH)->trigger();
    CLinkHealthWindow* pWindow = frame.LinkHealthWindow();
    ASSERT_NE(pWindow, nullptr);
    EXPECT_TRUE(pWindow->isVisible());

    m_program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
    m_program.Session().DispatchSentence("NOPE,1");
    const std::uint8_t bytes[] = {'$', 'T', 'M', '*', '0', '0', '\r', '\n'};  // a wrong checksum
    m_program.Session().FeedBytes(bytes, sizeof bytes);
    pWindow->Refresh();
    EXPECT_EQ(pWindow->Value("Sentences handled:"), "1");
    EXPECT_EQ(pWindow->Value("Unrecognised bodies:"), "1");
    EXPECT_EQ(pWindow->Value("Checksum errors:"), "1");
    EXPECT_EQ(pWindow->Value("Bytes received:"), "8");
    EXPECT_EQ(pWindow->Value("Last time report:"), "0 s ago");

    pWindow->findChild<QPushButton*>("reset")->click();
    EXPECT_EQ(pWindow->Value("Sentences handled:"), "0");
    EXPECT_EQ(pWindow->Value("Checksum errors:"), "0");
    EXPECT_EQ(pWindow->Value("Bytes received:"), "0");
    EXPECT_EQ(pWindow->Value("Last time report:"), "0 s ago");  // the age is no counter
}

}  // namespace
}  // namespace velmor::test
