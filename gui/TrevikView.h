#pragma once
// The status view: the main window's only client, painted with the status
// page, and the owner of the 200 ms poll timer. It decides nothing itself:
// every paint asks core whether and what to draw, every tick goes to core.

#include <QTimer>
#include <QWidget>
#include <string>

namespace velmor {

class CProgram;
class CQtHost;

class CTrevikView : public QWidget {
    Q_OBJECT
public:
    CTrevikView(CProgram& program, CQtHost& host, QWidget* pParent = nullptr);
    // Runs the view's destroy handling (the farewell command while the port
    // is open) after letting go of the host.
    ~CTrevikView() override;

    bool StartPollTimer(int periodMs);
    void StopPollTimer();
    bool IsPollTimerActive() const { return m_pollTimer.isActive(); }

    // Repaint requests from core. Every paint clears the client area to the
    // background first, so erasing or not makes no difference any more.
    void Invalidate(bool erase);
    void RedrawNow();
    // The polling watchdog's timer (once a second while the view lives).
    bool IsWatchdogActive() const { return m_watchdogTimer.isActive(); }
    // How often the watchdog restarted polling (tests).
    int WatchdogRestarts() const { return m_nWatchdogRestarts; }

    // The page text last drawn (CR LF line ends), empty before the first.
    const std::string& LastPage() const { return m_strLastPageText; }
    // Draws the page in grey while its data is not live; the text stays
    // what it was. A change repaints (the last page, unless new data came).
    void SetDimmed(bool dimmed);
    bool IsDimmed() const { return m_bDimmed; }
    static QColor DimmedTextColour() { return QColor(128, 128, 128); }
    // The colour the last page was drawn in (tests).
    QColor LastTextColour() const { return m_lastTextColour; }

    // How often the page was actually drawn (tests).
    int PagesDrawn() const { return m_nPagesDrawn; }
    int NestedPaintsDeferred() const { return m_nNestedDeferred; }

    // Draws |page| as the view does: lines centred in |rect|, flowing down,
    // each on an opaque background.
    static void DrawPage(QPainter& painter, const QRect& rect, const QString& page, const QColor& background);

signals:
    // After each poll tick has run in core: for the consumers that decide
    // on time alone (the alarms' hold-off, the capture's flush).
    void PollTicked();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    // Watches the whole application for a modal window (any dialog or box,
    // the program's or Qt's own) that closes.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    CProgram& m_program;
    CQtHost& m_host;
    QTimer m_pollTimer;
    QTimer m_watchdogTimer;
    bool m_bInPaint = false;
    bool m_bRepaintDeferred = false;
    int m_nPagesDrawn = 0;
    int m_nNestedDeferred = 0;
    int m_nWatchdogRestarts = 0;
    std::string m_strLastPageText;
    bool m_bDimmed = false;
    QString m_strLastPage;
    QColor m_lastTextColour;
};

}  // namespace velmor
