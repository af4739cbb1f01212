// The window side of the alarms and the capture: an event reaches the
// Events window and the daily log, File > Capture Traffic writes what the
// line carried, View > Copy Page puts the drawn page on the clipboard.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTableWidget>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "EventsWindow.h"
#include "GuiTestSupport.h"
#include "MainFrame.h"
#include "TrevikView.h"
#include "app/Menu.h"
#include "app/Program.h"

namespace velmor::test {
namespace {

// The host's clock under the test's hand, so that the hold-off passes at once.
class CClockHost : public CRecordingHost {
public:
    std::uint64_t TickCount() override { return m_qwNow; }
    std::uint64_t m_qwNow = 1000;
};

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class AlarmsAndCaptureTest : public ::testing::Test, protected CWithApp {
protected:
    void SetUp() override { std::filesystem::create_directories(m_dir); }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    CClockHost m_host;
    CMemoryDevice m_device;
    CProfile m_profile = CProfile::InMemory("[Alarms]\nNotify=\n");
    CProgram m_program{m_host, m_device, m_profile};
    std::filesystem::path m_dir =
        std::filesystem::temp_directory_path() / ("velmor-gui-alarms-" + std::to_string(::getpid()));
};

TEST_F(AlarmsAndCaptureTest, EventGoesToWindowAndLogAndTrafficToTheCapture)
{
    CMainFrame frame(m_program, m_host, m_profile);
    frame.SetEventLogDirectory((m_dir / "log").string());
    QString error;
    ASSERT_TRUE(frame.StartCapture(QString::fromStdString((m_dir / "cap.replay").string()), error));
    EXPECT_TRUE(frame.Action(ID_FILE_CAPTURE)->isChecked());
    m_device.m_bOpenWorks = true;
    m_program.LoadSettingsAtStartup();
    m_program.OpenPortAtStartup();

    m_program.Session().DispatchSentence("PRID,16,512-6200-10");
    m_program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
    m_host.m_qwNow = 2000;
    const std::string coasting = "$TIME,2026,341,10,00,02,2,3,2*15\r\n";
    m_program.Session().FeedBytes(reinterpret_cast<const std::uint8_t*>(coasting.data()), coasting.size());
    m_host.m_qwNow = 7000;
    emit frame.View()->PollTicked();

    QTableWidget* pTable = frame.EventsWindow()->Table();
    ASSERT_EQ(pTable->rowCount(), 2);
    EXPECT_EQ(pTable->item(0, 1)->text(), "lock-lost");
    EXPECT_EQ(pTable->item(1, 1)->text(), "holdover-started");
    EXPECT_EQ(pTable->item(1, 2)->text(), "state=Coasting");
    frame.Action(ID_VIEW_EVENTS)->trigger();
    EXPECT_TRUE(frame.EventsWindow()->isVisible());

    frame.FlushEventLog();  // the log writes on its own thread
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir / "log")) log += ReadAll(entry.path());
    EXPECT_NE(log.find("Z lock-lost state=Coasting\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Z holdover-started state=Coasting\n"), std::string::npos) << log;

    frame.Action(ID_FILE_CAPTURE)->trigger();  // unchecks: the capture stops
    EXPECT_FALSE(frame.IsCapturing());
    const std::string capture = ReadAll(m_dir / "cap.replay");
    EXPECT_NE(capture.find("wait 999\nrx $TIME,2026,341,10,00,02,2,3,2*15\\r\\n\n"), std::string::npos) << capture;
    EXPECT_NE(capture.find("# port opened\n"), std::string::npos) << capture;
    EXPECT_NE(capture.find("# tx $LEAP*\\r\\n\n"), std::string::npos) << capture;
}

TEST_F(AlarmsAndCaptureTest, CopyPagePutsTheDrawnPageOnTheClipboard)
{
    CMainFrame frame(m_program, m_host, m_profile);
    frame.show();
    ASSERT_TRUE(PumpUntil([&] { return !frame.View()->LastPage().empty(); }));
    QAction* pCopy = frame.Action(ID_VIEW_COPY_PAGE);
    EXPECT_EQ(pCopy->shortcut(), QKeySequence(QKeySequence::Copy));
    pCopy->trigger();
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(text.contains("TFOM:          9")) << text.toStdString();
    EXPECT_FALSE(text.contains('\r'));
}

}  // namespace
}  // namespace velmor::test
