// The main window: menu bar from the menu table with its enabling, tool
// bar, status bar, placement kept in "WindowRect", and the farewell.

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>
#include <climits>

#include "GuiTestSupport.h"
#include "MainFrame.h"
#include "TrevikView.h"
#include "app/Menu.h"
#include "app/Program.h"

namespace velmor::test {
namespace {

class MainFrameTest : public ::testing::Test, protected CWithApp {
protected:
    CRecordingHost m_host;
    CMemoryDevice m_device;
    CProfile m_profile = CProfile::InMemory();
    CProgram m_program{m_host, m_device, m_profile};
};

QMenu* MenuTitled(CMainFrame& frame, const QString& title)
{
    for (QAction* pAction : frame.menuBar()->actions())
        if (pAction->text() == title) return pAction->menu();
    return nullptr;
}

TEST_F(MainFrameTest, MenuBarHoldsEveryItemWithItsTextAndPrompt)
{
    CMainFrame frame(m_program, m_host, m_profile);
    QStringList titles;
    for (QAction* pAction : frame.menuBar()->actions()) titles << pAction->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Com Setup", "&View", "&Setup", "&Help"}));

    int setupItems = 0;
    for (const CMenuItem& item : MenuItems()) {
        QMenu* pMenu = MenuTitled(frame, item.m_pszMenu);
        ASSERT_NE(pMenu, nullptr) << item.m_pszMenu;
        QAction* pAction = frame.Action(item.m_nCommand);
        ASSERT_NE(pAction, nullptr) << item.m_pszItem;
        EXPECT_TRUE(pMenu->actions().contains(pAction)) << item.m_pszItem;
        EXPECT_EQ(pAction->text().toStdString(), item.m_pszItem);
        EXPECT_EQ(pAction->statusTip().toStdString(), item.m_pszPrompt);
        if (std::string(item.m_pszMenu) == "&Setup") ++setupItems;
    }
    EXPECT_EQ(setupItems, 14);
    EXPECT_EQ(frame.Action(ID_APP_ABOUT)->text(), "&Velmor ");  // the trailing blank is part of it
}

TEST_F(MainFrameTest, OnlyDacValueAndQuickStartOfTheRestrictedItemsBeforeIdentification)
{
    CMainFrame frame(m_program, m_host, m_profile);
    for (QAction* pMenuAction : frame.menuBar()->actions()) emit pMenuAction->menu()->aboutToShow();

    const std::vector<int> restricted = {ID_SETUP_BEEP, ID_SETUP_DAC_VALUE, ID_SETUP_EVENT_TRIGGER,
                                         ID_SETUP_PRESET1, ID_SETUP_PRESET2, ID_SETUP_MASK_ANGLE,
                                         ID_SETUP_RATE_OUTPUT, ID_SETUP_REF_PULSE, ID_SETUP_TIME_TAG,
                                         ID_SETUP_TOD_TYPE, ID_SETUP_QUICK_START};
    for (const CMenuItem& item : MenuItems()) {
        const int id = item.m_nCommand;
        const bool isRestricted = std::find(restricted.begin(), restricted.end(), id) != restricted.end();
        const bool expected = !isRestricted || id == ID_SETUP_DAC_VALUE || id == ID_SETUP_QUICK_START;
        EXPECT_EQ(frame.Action(id)->isEnabled(), expected) << item.m_pszItem;
    }
}

TEST_F(MainFrameTest, EnablingIsAskedAgainEachTimeTheMenuOpens)
{
    CMainFrame frame(m_program, m_host, m_profile);
    QMenu* pSetup = MenuTitled(frame, "&Setup");
    emit pSetup->aboutToShow();
    EXPECT_FALSE(frame.Action(ID_SETUP_EVENT_TRIGGER)->isEnabled());

    m_program.Session().StateForTest().m_nProductType = 0;
    EXPECT_FALSE(frame.Action(ID_SETUP_EVENT_TRIGGER)->isEnabled()) << "only when the menu opens";
    emit pSetup->aboutToShow();
    EXPECT_TRUE(frame.Action(ID_SETUP_EVENT_TRIGGER)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_SETUP_BEEP)->isEnabled());

    m_program.Session().StateForTest().m_nReportedProductType = 16;
    emit pSetup->aboutToShow();
    EXPECT_TRUE(frame.Action(ID_SETUP_PRESET1)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_SETUP_QUICK_START)->isEnabled());
}

TEST_F(MainFrameTest, TitleToolBarAndStatusBar)
{
    CMainFrame frame(m_program, m_host, m_profile);
    EXPECT_EQ(frame.windowTitle(), "  Velmor - GPS Windows User Interface Application Program");
    auto* pBar = frame.findChild<QToolBar*>("toolBar");
    ASSERT_NE(pBar, nullptr);
    ASSERT_EQ(pBar->actions().size(), 2);
    EXPECT_EQ(pBar->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_FALSE(pBar->actions()[0]->icon().isNull());
    EXPECT_FALSE(pBar->actions()[1]->icon().isNull());
    for (const char* name : {"CAP", "NUM", "SCRL"}) {
        auto* pLabel = frame.findChild<QLabel*>(name);
        ASSERT_NE(pLabel, nullptr) << name;
        EXPECT_EQ(pLabel->text(), name);
    }
    EXPECT_EQ(frame.centralWidget(), frame.View());
}

TEST_F(MainFrameTest, CloseSavesTheOuterRectangleThenSaysFarewell)
{
    CMainFrame frame(m_program, m_host, m_profile);
    frame.show();
    frame.move(30, 40);
    frame.resize(500, 300);
    Pump(20);
    const QRect outer = frame.frameGeometry();
    frame.close();
    EXPECT_EQ(m_profile.GetInt("WindowRect", "left", -1), outer.x());
    EXPECT_EQ(m_profile.GetInt("WindowRect", "top", -1), outer.y());
    EXPECT_EQ(m_profile.GetInt("WindowRect", "right", -1), outer.x() + outer.width());
    EXPECT_EQ(m_profile.GetInt("WindowRect", "bottom", -1), outer.y() + outer.height());
    // No port: the farewell goes out anyway and fails with the write box.
    ASSERT_EQ(m_host.m_boxes.size(), 1u);
    EXPECT_EQ(m_host.m_boxes[0].m_strCaption, "Comm Error");
}

TEST_F(MainFrameTest, FarewellReachesAnOpenPortTwiceAtExit)
{
    m_device.m_bOpenWorks = true;
    m_program.LoadSettingsAtStartup();
    {
        CMainFrame frame(m_program, m_host, m_profile);
        m_program.OpenPortAtStartup();
        ASSERT_TRUE(m_program.Session().IsPortOpen());
        frame.close();
    }
    // Once from the main window, once from the view's destroy handling.
    const std::string farewell = "$UNSL,XXXX,1*\r\n";
    EXPECT_EQ(m_device.m_strWritten, farewell + farewell);
    EXPECT_TRUE(m_host.m_boxes.empty());
}

TEST_F(MainFrameTest, PlacementComesBackFromTheSettings)
{
    m_profile.WriteString("WindowRect", "left", "20");
    m_profile.WriteString("WindowRect", "top", "35");
    m_profile.WriteString("WindowRect", "right", "620");
    m_profile.WriteString("WindowRect", "bottom", "435");
    CMainFrame frame(m_program, m_host, m_profile);
    frame.RestorePlacement();
    frame.show();
    // The platform settles the frame in steps; wait for where it ends up.
    PumpUntil([&] { return frame.frameGeometry() == QRect(20, 35, 600, 400); }, 5000);
    EXPECT_EQ(frame.frameGeometry().topLeft(), QPoint(20, 35));
    EXPECT_EQ(frame.frameGeometry().width(), 600);
    EXPECT_EQ(frame.frameGeometry().height(), 400);

    // Partly off the screen, or saved on a larger one: brought inside the
    // available area, moved before it is made smaller (checked before the
    // platform window exists: the test platform moves windows on its own).
    const QRect available = frame.screen()->availableGeometry();
    m_profile.WriteString("WindowRect", "left", "-200");
    m_profile.WriteString("WindowRect", "right", "400");
    CMainFrame other(m_program, m_host, m_profile);
    other.RestorePlacement();
    EXPECT_EQ(other.frameGeometry(), QRect(available.left(), 35, 600, 400));
    m_profile.WriteString("WindowRect", "left", std::to_string(available.right() - 100));
    m_profile.WriteString("WindowRect", "right", std::to_string(available.right() + 500));
    m_profile.WriteString("WindowRect", "bottom", std::to_string(35 + available.height() + 300));
    CMainFrame large(m_program, m_host, m_profile);
    large.RestorePlacement();
    EXPECT_EQ(large.frameGeometry(), QRect(available.right() - 599, available.top(), 600, available.height()));
}

TEST_F(MainFrameTest, AbsentOrAbsurdPlacementKeysKeepAUsableWindow)
{
    {
        CMainFrame frame(m_program, m_host, m_profile);
        const QRect before = frame.frameGeometry();
        frame.RestorePlacement();
        EXPECT_EQ(frame.frameGeometry().size(), before.size());
    }
    m_profile.WriteString("WindowRect", "left", std::to_string(INT_MIN));
    m_profile.WriteString("WindowRect", "right", std::to_string(INT_MAX));
    m_profile.WriteString("WindowRect", "top", "500");
    m_profile.WriteString("WindowRect", "bottom", "100");
    CMainFrame frame(m_program, m_host, m_profile);
    frame.RestorePlacement();
    EXPECT_GE(frame.width(), 1);
    EXPECT_GE(frame.height(), 1);
    EXPECT_TRUE(frame.screen()->availableGeometry().contains(frame.frameGeometry()));
}

}  // namespace
}  // namespace velmor::test
