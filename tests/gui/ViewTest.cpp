// The status view and the host around it: page drawing, the paint guard
// under a box's nested loop, the poll timer, the display font, the notice
// window and the message boxes.

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "FontConvert.h"
#include "GuiTestSupport.h"
#include "NoticeWindow.h"
#include "TrevikView.h"
#include "app/Program.h"

namespace velmor::test {
namespace {

int DarkPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ++count;
    return count;
}

class ViewTest : public ::testing::Test, protected CWithApp {
protected:
    CRecordingHost m_host;
    CMemoryDevice m_device;
    CProfile m_profile = CProfile::InMemory();
    CProgram m_program{m_host, m_device, m_profile};
};

TEST_F(ViewTest, WithoutPortEveryPaintDrawsThePage)
{
    CTrevikView view(m_program, m_host);
    view.resize(640, 520);
    const QImage image = view.grab().toImage();
    EXPECT_EQ(view.PagesDrawn(), 1);
    EXPECT_GT(DarkPixels(image), 2000) << "the page's text";
    // The 10-pixel margin stays clear.
    EXPECT_EQ(DarkPixels(image.copy(0, 0, image.width(), 10)), 0);
    EXPECT_EQ(DarkPixels(image.copy(0, 0, 10, image.height())), 0);
    view.grab();
    EXPECT_EQ(view.PagesDrawn(), 2) << "timer not running: drawn every time";
}

TEST_F(ViewTest, LinesAreCentredAndClippedToTheShrunkenRectangle)
{
    QImage image(200, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = LogFontToQFont(CLogFont{});
    painter.setFont(font);
    const QString wide(80, QChar('X'));
    CTrevikView::DrawPage(painter, QRect(10, 10, 180, 40), "-\r\n" + wide + "\r\n\r\n", Qt::white);
    painter.end();
    // Row of the first line: a short dash in the middle only.
    const QImage first = image.copy(0, 10, 200, QFontMetrics(font).height());
    EXPECT_EQ(DarkPixels(first.copy(0, 0, 80, first.height())), 0);
    EXPECT_GT(DarkPixels(first.copy(80, 0, 40, first.height())), 0);
    // The wide line fills the rectangle and nothing outside it.
    EXPECT_EQ(DarkPixels(image.copy(0, 0, 10, 60)), 0);
    EXPECT_EQ(DarkPixels(image.copy(190, 0, 10, 60)), 0);
    EXPECT_EQ(DarkPixels(image.copy(0, 50, 200, 10)), 0);
}

TEST_F(ViewTest, FirstPaintWithOpenPortStartsPollingAndTicksReachCore)
{
    m_device.m_bOpenWorks = true;
    m_program.LoadSettingsAtStartup();
    CTrevikView view(m_program, m_host);
    view.resize(400, 300);
    m_program.OpenPortAtStartup();
    view.grab();
    EXPECT_EQ(view.PagesDrawn(), 0) << "the paint that starts polling draws nothing";
    EXPECT_TRUE(view.IsPollTimerActive());
    EXPECT_EQ(m_device.m_strWritten, "$PRID*\r\n$PRID*\r\n$GPSE*\r\n");
    EXPECT_TRUE(PumpUntil([&] { return m_device.m_nReads >= 1; }));
    view.grab();
    view.grab();
    EXPECT_EQ(view.PagesDrawn(), 1) << "the first page once, then nothing new: no drawing";
}

TEST_F(ViewTest, ABoxOpenedWhileDrawingDefersNestedPaints)
{
    m_device.m_bOpenWorks = true;
    m_program.LoadSettingsAtStartup();
    CTrevikView view(m_program, m_host);
    view.resize(400, 300);
    m_program.OpenPortAtStartup();
    m_device.m_bWriteWorks = false;
    int boxes = 0;
    m_host.m_onBox = [&] {
        // What the box's event loop would do: paint requests, poll ticks.
        if (++boxes > 1) return;
        view.update();
        m_host.RedrawViewNow();
        Pump(250);
    };
    view.show();
    // The first paint starts polling; the identification queries fail.
    EXPECT_TRUE(PumpUntil([&] { return m_host.m_boxes.size() >= 3; }));
    EXPECT_GE(view.NestedPaintsDeferred(), 1);
    EXPECT_TRUE(view.IsPollTimerActive());
    EXPECT_GE(m_host.m_boxes.size(), 3u);
    EXPECT_EQ(m_host.m_boxes[0].m_strCaption, "Comm Error");
    m_host.m_onBox = nullptr;
}

TEST_F(ViewTest, LogFontBecomesAFixedPitchQFontAndBack)
{
    CLogFont log;
    QFont font = LogFontToQFont(log);
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_TRUE(font.fixedPitch());
    EXPECT_EQ(font.styleHint(), QFont::TypeWriter);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_TRUE(QFontInfo(font).fixedPitch()) << "a monospace face stands in for Courier New";

    log.m_lHeight = 20;  // positive: the cell height
    log.m_lWeight = 700;
    log.m_byItalic = 1;
    font = LogFontToQFont(log);
    EXPECT_LE(QFontMetrics(font).height(), 21);
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_TRUE(font.italic());

    log.m_lHeight = INT32_MIN;  // settings file nonsense still gives a font
    log.m_lWeight = -5;
    EXPECT_GT(LogFontToQFont(log).pixelSize(), 0);

    QFont chosen(QString(40, QChar('F')));
    chosen.setPixelSize(14);
    chosen.setWeight(QFont::Bold);
    CLogFont back;
    back.m_byPitchAndFamily = 49;
    QFontToLogFont(chosen, back);
    EXPECT_EQ(back.m_lHeight, -14);
    EXPECT_EQ(back.m_lWeight, 700);
    EXPECT_EQ(back.m_strFaceName, std::string(31, 'F'));
    EXPECT_EQ(back.m_byPitchAndFamily, 49) << "fields Qt does not know stay";
}

TEST_F(ViewTest, NoticeShowsHidesOnCancelAndClosesAfterItsSeconds)
{
    CTrevikView view(m_program, m_host);
    view.show();
    ASSERT_TRUE(m_program.Session().MessageWindow().ShowMessage("Communicate With Unit, Wait...", "RS-232 Message Window", 1));
    CNoticeWindow* pNotice = m_host.Notice();
    ASSERT_NE(pNotice, nullptr);
    EXPECT_TRUE(pNotice->isVisible());
    EXPECT_EQ(pNotice->windowTitle(), "RS-232 Message Window");
    EXPECT_EQ(pNotice->findChild<QLabel*>("noticeText")->text(), "Communicate With Unit, Wait...");
    EXPECT_EQ(pNotice->parentWidget(), &view);

    pNotice->findChild<QPushButton*>("noticeCancel")->click();
    EXPECT_FALSE(pNotice->isVisible());
    EXPECT_TRUE(pNotice->IsTimerActive()) << "Cancel only hides it";
    EXPECT_FALSE(m_program.Session().MessageWindow().ShowMessage("other", "other", 1));

    EXPECT_TRUE(PumpUntil([&] { return m_host.Notice() == nullptr; }));
    EXPECT_FALSE(m_program.Session().MessageWindow().m_bShown);
    EXPECT_TRUE(m_program.Session().MessageWindow().ShowMessage("next", "Cold Start", 1));
    EXPECT_EQ(m_host.Notice()->windowTitle(), "Cold Start");
}

// The real boxes of CQtHost, answered by a timer while they are open.
TEST_F(ViewTest, MessageBoxesCarryCaptionTextIconButtonsAndOwner)
{
    CQtHost host;
    QWidget main;
    host.SetMainWindow(&main);
    struct CSeen {
        QString m_title, m_text;
        QMessageBox::Icon m_icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons m_buttons;
        QWidget* m_pParent = nullptr;
    } seen;
    auto answer = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(50, [&, button] {
            for (QWidget* pWidget : QApplication::topLevelWidgets()) {
                auto* pBox = qobject_cast<QMessageBox*>(pWidget);
                if (!pBox || !pBox->isVisible()) continue;
                seen = {pBox->windowTitle(), pBox->text(), pBox->icon(), pBox->standardButtons(),
                        pBox->parentWidget()};
                pBox->button(button)->click();
            }
        });
    };

    answer(QMessageBox::No);
    EXPECT_EQ(host.MessageBox(Owner::None, "Value must between -14 to +14\r\nBad entry:    20",
                              "Local Offset Entry Error!!", Icon::Question, Buttons::YesNo),
              Answer::No);
    EXPECT_EQ(seen.m_title, "Local Offset Entry Error!!");
    EXPECT_EQ(seen.m_text, "Value must between -14 to +14\nBad entry:    20");
    EXPECT_EQ(seen.m_icon, QMessageBox::Question);
    EXPECT_EQ(seen.m_buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.m_pParent, nullptr);

    answer(QMessageBox::Cancel);
    EXPECT_EQ(host.MessageBox(Owner::MainWindow, "t", "Init. Failed", Icon::Error, Buttons::OkCancel),
              Answer::Cancel);
    EXPECT_EQ(seen.m_icon, QMessageBox::Critical);
    EXPECT_EQ(seen.m_pParent, &main);

    answer(QMessageBox::Ok);
    EXPECT_EQ(host.MessageBox(Owner::View, "t", "c", Icon::Warning), Answer::Ok);
    EXPECT_EQ(seen.m_icon, QMessageBox::Warning);
    EXPECT_EQ(seen.m_pParent, &main) << "no view yet: the main window owns it";
}

}  // namespace
}  // namespace velmor::test
