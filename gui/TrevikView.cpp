#include "TrevikView.h"

#include <QApplication>
#include <QDialog>
#include <QPaintEvent>
#include <QPainter>

#include "FontConvert.h"
#include "QtHost.h"
#include "app/Program.h"

namespace velmor {

namespace {
constexpr int kPageMargin = 10;
}

CTrevikView::CTrevikView(CProgram& program, CQtHost& host, QWidget* pParent)
    : QWidget(pParent), m_program(program), m_host(host)
{
    // Every paint fills the whole area itself (background, then the page).
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        m_program.OnPollTimer();
        emit PollTicked();
    });
    m_host.SetView(this);
    // The old desktop repainted the view whenever a modal window over it
    // closed, and a setup command cancelled with polling stopped relies on
    // that repaint to resume. Here a closing window brings no paint by
    // itself, so the view asks for it, and a watchdog catches any other path
    // that leaves polling stopped for no reason.
    qApp->installEventFilter(this);
    m_watchdogTimer.setInterval(CProgram::kWatchdogPeriodMs);
    connect(&m_watchdogTimer, &QTimer::timeout, this, [this] {
        if (m_program.OnPollingWatchdog()) ++m_nWatchdogRestarts;
    });
    m_watchdogTimer.start();
}

CTrevikView::~CTrevikView()
{
    qApp->removeEventFilter(this);
    m_watchdogTimer.stop();
    m_pollTimer.stop();
    if (m_host.View() == this) m_host.SetView(nullptr);
    m_program.OnDestroyView();
}

bool CTrevikView::StartPollTimer(int periodMs)
{
    if (periodMs <= 0) return false;
    m_pollTimer.start(periodMs);
    return m_pollTimer.isActive();
}

void CTrevikView::StopPollTimer() { m_pollTimer.stop(); }

void CTrevikView::Invalidate(bool /*erase*/) { update(); }

bool CTrevikView::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::Hide && pWatched->isWidgetType()) {
        auto* pWidget = static_cast<QWidget*>(pWatched);
        // Told once the loop runs again: by then the command that ran the
        // window has gone on (and perhaps resumed polling itself).
        if (pWidget->isWindow() && (qobject_cast<QDialog*>(pWidget) || pWidget->isModal()))
            QTimer::singleShot(0, this, [this] { m_program.OnModalClosed(); });
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void CTrevikView::RedrawNow()
{
    // Painting at once is impossible while a paint is under way (a box
    // opened by the drawing runs its own event loop); it follows then.
    if (m_bInPaint) {
        m_bRepaintDeferred = true;
        ++m_nNestedDeferred;
        return;
    }
    repaint();
}

void CTrevikView::SetDimmed(bool dimmed)
{
    if (dimmed == m_bDimmed) return;
    m_bDimmed = dimmed;
    update();
}

void CTrevikView::paintEvent(QPaintEvent* /*pEvent*/)
{
    std::string page;
    bool bDraw = false;
    if (m_bInPaint) {
        // A paint requested from inside the drawing (a box's nested event
        // loop): core is not asked again; this one shows the last page and
        // the view paints again once the outer paint is done.
        m_bRepaintDeferred = true;
        ++m_nNestedDeferred;
    } else {
        // Core first: it may send commands and open boxes before anything
        // is drawn, and no painter may be active while their event loops run.
        m_bInPaint = true;
        bDraw = m_program.OnPaint(page);
        m_bInPaint = false;
    }
    if (bDraw) {
        // The page is UTF-8 (its degree sign); stray bytes from the unit
        // show as replacement characters.
        m_strLastPage = QString::fromUtf8(page.data(), static_cast<qsizetype>(page.size()));
        m_strLastPageText = page;
        ++m_nPagesDrawn;
    }
    // The whole area is painted every time: the background, then the new
    // page or, when core drew nothing, the copy of the last one. Nothing of
    // an earlier paint, a shorter line or a resize stays behind.
    const QColor background = palette().color(QPalette::Window);
    {
        QPainter painter(this);
        painter.fillRect(rect(), background);
        if (!m_strLastPage.isEmpty()) {
            m_lastTextColour = m_bDimmed ? DimmedTextColour() : palette().color(QPalette::WindowText);
            painter.setFont(LogFontToQFont(m_program.LogFont()));
            painter.setPen(m_lastTextColour);
            DrawPage(painter, rect().adjusted(kPageMargin, kPageMargin, -kPageMargin, -kPageMargin), m_strLastPage,
                     background);
        }
    }
    if (m_bRepaintDeferred && !m_bInPaint) {
        m_bRepaintDeferred = false;
        QTimer::singleShot(0, this, [this] { update(); });
    }
}

void CTrevikView::DrawPage(QPainter& painter, const QRect& rect, const QString& page, const QColor& background)
{
    if (rect.width() <= 0 || rect.height() <= 0) return;
    painter.save();
    painter.setClipRect(rect);
    const QFontMetrics metrics(painter.font());
    const int lineHeight = metrics.height();
    QStringList lines = page.split(QStringLiteral("\r\n"));
    // The page ends with CR LF, which leaves no line after it.
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    int y = rect.top();
    for (const QString& line : lines) {
        if (y >= rect.bottom()) break;
        const int width = metrics.horizontalAdvance(line);
        // Centred even when wider than the rectangle: both ends are clipped.
        const int x = rect.left() + (rect.width() - width) / 2;
        const QRect cell(x, y, width, lineHeight);
        painter.fillRect(cell, background);
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
        y += lineHeight;
    }
    painter.restore();
}

}  // namespace velmor
