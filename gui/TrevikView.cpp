#include "TrevikView.h"

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
    // Paints that draw nothing must leave the previous page on screen: the
    // page is redrawn only when new data arrived.
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
}

CTrevikView::~CTrevikView()
{
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

void CTrevikView::Invalidate(bool erase)
{
    if (erase) m_bErasePending = true;
    update();
}

void CTrevikView::RedrawNow()
{
    m_bErasePending = true;
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
    // Only the colour changes: the last page is drawn again as it was,
    // without asking core (which would send the drawing's commands).
    m_bRedrawLastPage = true;
    Invalidate(true);
}

void CTrevikView::paintEvent(QPaintEvent* /*pEvent*/)
{
    if (m_bInPaint) {
        // A paint requested from inside the drawing (a box's nested event
        // loop): never paint recursively, paint again once this one is done.
        m_bRepaintDeferred = true;
        ++m_nNestedDeferred;
        return;
    }
    m_bInPaint = true;
    // Core first: it may send commands and open boxes before anything is
    // drawn, and no painter may be active while their event loops run.
    std::string page;
    const bool bDraw = m_program.OnPaint(page);
    // The page is UTF-8 (its degree sign); stray bytes from the unit show
    // as replacement characters.
    const QColor background = palette().color(QPalette::Window);
    {
        QPainter painter(this);
        if (m_bErasePending) {
            painter.fillRect(rect(), background);
            m_bErasePending = false;
        }
        if (bDraw) m_strLastPage = QString::fromUtf8(page.data(), static_cast<qsizetype>(page.size()));
        if (bDraw || (m_bRedrawLastPage && !m_strLastPage.isEmpty())) {
            m_lastTextColour = m_bDimmed ? DimmedTextColour() : palette().color(QPalette::WindowText);
            painter.setFont(LogFontToQFont(m_program.LogFont()));
            painter.setPen(m_lastTextColour);
            DrawPage(painter, rect().adjusted(kPageMargin, kPageMargin, -kPageMargin, -kPageMargin), m_strLastPage,
                     background);
            if (bDraw) ++m_nPagesDrawn;
            if (bDraw) m_strLastPageText = page;
        }
        m_bRedrawLastPage = false;
    }
    m_bInPaint = false;
    if (m_bRepaintDeferred) {
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
