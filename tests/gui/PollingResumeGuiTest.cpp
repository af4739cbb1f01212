// Monitoring never stops silently under Qt: every modal window's close
// repaints the view, whose drawing decision resumes polling a setup command
// left stopped; the watchdog catches the rest; the link pane tells of the
// pause. And the page itself: every paint clears the whole area, a paint
// that draws nothing shows the last page again without asking the unit, and
// the page is dimmed while nothing is known.

#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "FontConvert.h"
#include "GuiTestSupport.h"
#include "MainFrame.h"
#include "TrevikView.h"
#include "app/Menu.h"
#include "app/Program.h"

namespace velmor::test {
namespace {

// Generous for a loaded two-core machine, yet well below the watchdog's
// second: a resume within it came from the close, not from the watchdog.
constexpr int kResumeWithinMs = 200;

// Pumps events until |done| holds or |ms| pass; true when it held.
bool PumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Once a modal window is up (after |openMs| more), runs |inside| and then
// closes it the way a user would (Escape, i.e. reject). |closedAt| gets the
// clock's time of the close.
void CloseModalWhenShown(QElapsedTimer& clock, qint64& closedAt, std::function<void(QWidget*)> inside = {},
                         int openMs = 50)
{
    auto* pPoll = new QTimer;
    pPoll->setInterval(10);
    QObject::connect(pPoll, &QTimer::timeout, [pPoll, &clock, &closedAt, inside, openMs] {
        auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!pDialog || !pDialog->isVisible()) return;
        pPoll->stop();
        pPoll->deleteLater();
        QTimer::singleShot(openMs, pDialog, [pDialog, &clock, &closedAt, inside] {
            if (inside) inside(pDialog);
            closedAt = clock.elapsed();
            pDialog->reject();
        });
    });
    pPoll->start();
}

int DarkPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 100) ++count;
    return count;
}

// The view drawn into an image first filled with |garbage|.
QImage RenderOver(QWidget& view, QColor garbage = Qt::red)
{
    QImage image(view.size(), QImage::Format_RGB32);
    image.fill(garbage);
    view.render(&image);
    return image;
}

// Pixels of |image| outside |keep| that are not |background|.
int StrayPixels(const QImage& image, const QRect& keep, QColor background)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!keep.contains(x, y) && image.pixel(x, y) != background.rgb()) ++count;
    return count;
}

class PollingResumeGuiTest : public ::testing::Test, protected CWithApp {
protected:
    // The real Qt host: real boxes and dialogs, so that closing them is real.
    CQtHost m_host;
    CMemoryDevice m_device;
    CProfile m_profile = CProfile::InMemory();
    CProgram m_program{m_host, m_device, m_profile};

    // A shown main window whose view has started polling, with a unit that
    // identified itself and reports its time.
    void StartPollingUnit(CMainFrame& frame)
    {
        frame.show();
        frame.View()->repaint();
        ASSERT_TRUE(PumpUntil([&] { return frame.View()->IsPollTimerActive(); }, 3000));
        m_program.Session().DispatchSentence("PRID,16,600-1000-01");
        m_program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
        frame.UpdateLinkState();
    }
    void OpenPort()
    {
        m_device.m_bOpenWorks = true;
        m_program.LoadSettingsAtStartup();
        ASSERT_TRUE(m_program.Session().Open());
    }
};

TEST_F(PollingResumeGuiTest, CancelledSetupDialogsResumePollingWithinAFifthOfASecondOfTheClose)
{
    OpenPort();
    CMainFrame frame(m_program, m_host, m_profile);
    StartPollingUnit(frame);
    QElapsedTimer clock;
    clock.start();
    // The three setup dialogs that hold polling stopped while they are open.
    for (int command : {ID_SETUP_ANTENNA_DELAY, ID_SETUP_ANTENNA_POSITION, ID_SETUP_MODE}) {
        SCOPED_TRACE(command);
        qint64 closedAt = -1;
        QString pane;
        bool pollingInside = true;
        CloseModalWhenShown(clock, closedAt, [&](QWidget*) {
            frame.UpdateLinkState();
            pane = frame.LinkPane()->text();
            pollingInside = frame.View()->IsPollTimerActive();
        });
        m_device.m_strWritten.clear();
        ASSERT_TRUE(frame.Action(command)->isEnabled());
        frame.Action(command)->trigger();
        ASSERT_GE(closedAt, 0);
        EXPECT_EQ(pane, "Polling paused (setup dialog open)");
        EXPECT_FALSE(pollingInside);
        EXPECT_TRUE(PumpUntil([&] { return frame.View()->IsPollTimerActive(); }, 3000));
        EXPECT_LE(clock.elapsed() - closedAt, kResumeWithinMs);
        EXPECT_NE(m_device.m_strWritten.find("$PRID*\r\n$PRID*\r\n$GPSE*\r\n"), std::string::npos);
        frame.UpdateLinkState();
        EXPECT_NE(frame.LinkPane()->text(), "Polling paused (setup dialog open)");
    }
    EXPECT_EQ(frame.View()->WatchdogRestarts(), 0) << "each resume came from the close's repaint";
}

TEST_F(PollingResumeGuiTest, AnyOtherModalWindowsCloseGivesTheRepaintToo)
{
    OpenPort();
    CMainFrame frame(m_program, m_host, m_profile);
    StartPollingUnit(frame);
    QElapsedTimer clock;
    clock.start();
    // Polling left stopped for the next paint, then a modal window that is
    // none of the setup commands': a box, a file chooser, a plain dialog.
    const std::vector<std::function<void()>> windows = {
        [&] { m_host.MessageBox(Owner::View, "text", "caption", Icon::Info); },
        [&] {
            QFileDialog dialog(&frame, "Capture Traffic");
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.exec();
        },
        [&] {
            QDialog dialog(&frame);
            dialog.exec();
        },
    };
    for (std::size_t i = 0; i < windows.size(); ++i) {
        SCOPED_TRACE(i);
        m_program.Session().StopPolling();
        ASSERT_FALSE(frame.View()->IsPollTimerActive());
        qint64 closedAt = -1;
        bool restartedUnderIt = true;
        CloseModalWhenShown(clock, closedAt, [&](QWidget*) {
            // Repaints under the open window do not resume yet.
            frame.View()->repaint();
            restartedUnderIt = frame.View()->IsPollTimerActive();
        });
        windows[i]();
        ASSERT_GE(closedAt, 0);
        EXPECT_FALSE(restartedUnderIt);
        EXPECT_TRUE(PumpUntil([&] { return frame.View()->IsPollTimerActive(); }, 3000));
        EXPECT_LE(clock.elapsed() - closedAt, kResumeWithinMs);
    }
    EXPECT_EQ(frame.View()->WatchdogRestarts(), 0);
}

TEST_F(PollingResumeGuiTest, WatchdogRestartsPollingThatStoppedWithNothingHoldingIt)
{
    OpenPort();
    // A view that is never shown gets no paints: only the watchdog can
    // restart polling here.
    CTrevikView view(m_program, m_host);
    view.resize(400, 300);
    view.grab();
    ASSERT_TRUE(view.IsPollTimerActive());
    EXPECT_TRUE(view.IsWatchdogActive());
    m_program.Session().StopPolling();
    m_device.m_strWritten.clear();
    ASSERT_TRUE(PumpUntil([&] { return view.WatchdogRestarts() == 1; }, 5000));
    EXPECT_TRUE(view.IsPollTimerActive());
    EXPECT_EQ(m_device.m_strWritten.rfind("$PRID*\r\n$PRID*\r\n$GPSE*\r\n", 0), 0u) << m_device.m_strWritten;

    // Not while a modal window is open, however long it stays.
    m_program.Session().StopPolling();
    qint64 closedAt = -1;
    QElapsedTimer clock;
    clock.start();
    bool restartedUnderIt = true;
    CloseModalWhenShown(clock, closedAt, [&](QWidget*) { restartedUnderIt = view.IsPollTimerActive(); }, 1500);
    QDialog dialog;
    dialog.exec();
    EXPECT_FALSE(restartedUnderIt) << "a second and a half under a modal dialog";
    EXPECT_EQ(view.WatchdogRestarts(), 1);
    EXPECT_TRUE(PumpUntil([&] { return view.IsPollTimerActive(); }, 3000)) << "after its close";
}

class CleanPageGuiTest : public ::testing::Test, protected CWithApp {
protected:
    CRecordingHost m_host;
    CMemoryDevice m_device;
    CProfile m_profile = CProfile::InMemory();
    CProgram m_program{m_host, m_device, m_profile};
};

TEST_F(CleanPageGuiTest, APaintThatDrawsNothingShowsTheLastPageWithoutAskingTheUnit)
{
    m_device.m_bOpenWorks = true;
    m_program.LoadSettingsAtStartup();
    m_program.OpenPortAtStartup();
    m_program.Session().StateForTest().m_strPartNumber = "512-6200-03";  // its page queries OUTQ, SSTA, TIMR
    CTrevikView view(m_program, m_host);
    view.resize(640, 520);
    view.grab();  // starts polling
    ASSERT_TRUE(view.IsPollTimerActive());
    const QImage first = RenderOver(view);  // the first page
    ASSERT_EQ(view.PagesDrawn(), 1);
    EXPECT_GT(DarkPixels(first), 2000);
    m_device.m_strWritten.clear();

    const QImage again = RenderOver(view, Qt::blue);
    EXPECT_EQ(view.PagesDrawn(), 1) << "nothing new: the page is not built";
    EXPECT_EQ(m_device.m_strWritten, "") << "and nothing is sent";
    EXPECT_EQ(again, first) << "the same page on the same clean background";
}

TEST_F(CleanPageGuiTest, AfterAResizeEveryPixelOutsideTheTextIsTheBackground)
{
    // No port: every paint draws the page.
    CTrevikView view(m_program, m_host);
    const QColor background = view.palette().color(QPalette::Window);
    for (QSize size : {QSize(640, 520), QSize(900, 700), QSize(300, 200), QSize(641, 521)}) {
        SCOPED_TRACE(size.width());
        view.resize(size);
        const QImage image = RenderOver(view);
        // The text's own box: the widest line centred, the lines from the
        // top margin down, all within the margins.
        const QFontMetrics metrics(LogFontToQFont(m_program.LogFont()));
        QStringList lines = QString::fromStdString(view.LastPage()).split("\r\n");
        lines.removeLast();  // after the closing CR LF
        int widest = 0;
        for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
        const QRect inner = view.rect().adjusted(10, 10, -10, -10);
        const QRect text = QRect(inner.left() + (inner.width() - widest) / 2, inner.top(), widest,
                                 metrics.height() * static_cast<int>(lines.size()))
                               .intersected(inner);
        EXPECT_EQ(StrayPixels(image, text, background), 0);
        EXPECT_GT(DarkPixels(image.copy(text)), 500) << "the text itself is there";
    }
}

TEST_F(CleanPageGuiTest, AShorterLineLeavesNothingBehind)
{
    CTrevikView view(m_program, m_host);
    view.resize(900, 400);
    const QColor background = view.palette().color(QPalette::Window);
    const QFontMetrics metrics(LogFontToQFont(m_program.LogFont()));
    // The time text is shown as received: a long one widens its line.
    m_program.Session().StateForTest().m_strTimeOfDay = "341:10:00:00 and a great deal more";
    RenderOver(view);
    const QString longLine = QString::fromStdString(view.LastPage()).split("\r\n").at(1);
    m_program.Session().StateForTest().m_strTimeOfDay = "341:10:00:01";
    const QImage image = view.grab().toImage();
    const QString shortLine = QString::fromStdString(view.LastPage()).split("\r\n").at(1);
    ASSERT_GT(metrics.horizontalAdvance(longLine), metrics.horizontalAdvance(shortLine) + 100);
    // The second line's row beyond the short line's ends is background.
    const QRect inner = view.rect().adjusted(10, 10, -10, -10);
    const int width = metrics.horizontalAdvance(shortLine);
    const int left = inner.left() + (inner.width() - width) / 2;
    const QRect row(0, inner.top() + metrics.height(), view.width(), metrics.height());
    const QRect text(left, row.top(), width, row.height());
    EXPECT_EQ(StrayPixels(image.copy(row), text.translated(0, -row.top()), background), 0);
}

TEST_F(CleanPageGuiTest, ThePageIsDimmedWhileNothingIsKnownWithThePaneTextsUnchanged)
{
    CMainFrame frame(m_program, m_host, m_profile);
    frame.resize(700, 600);
    frame.UpdateLinkState();
    EXPECT_EQ(frame.LinkPane()->text(), "No port open");
    EXPECT_TRUE(frame.View()->IsDimmed());
    QImage image = RenderOver(*frame.View());
    EXPECT_EQ(frame.View()->LastTextColour(), CTrevikView::DimmedTextColour());
    EXPECT_EQ(DarkPixels(image), 0) << "no text in full black";

    m_device.m_bOpenWorks = true;
    ASSERT_TRUE(m_program.Session().Open());
    frame.UpdateLinkState();
    EXPECT_EQ(frame.LinkPane()->text(), "Waiting for the unit");
    EXPECT_TRUE(frame.View()->IsDimmed());

    m_program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
    frame.UpdateLinkState();
    EXPECT_EQ(frame.LinkPane()->text(), "Unit data fresh");
    EXPECT_FALSE(frame.View()->IsDimmed());
    image = RenderOver(*frame.View());
    EXPECT_GT(DarkPixels(image), 2000) << "live data in black";
}

}  // namespace
}  // namespace velmor::test
