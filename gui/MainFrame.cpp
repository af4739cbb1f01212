#include "MainFrame.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "CounterDialog.h"
#include "CounterFeed.h"
#include "EventsWindow.h"
#include "HistoryFeed.h"
#include "HistoryWindow.h"
#include "LinkHealthWindow.h"
#include "LockKeys.h"
#include "NoticeWindow.h"
#include "QtHost.h"
#include "TrevikView.h"
#include "WindowPlacement.h"
#include "app/Menu.h"
#include "alarms/EventSentence.h"
#include "app/Program.h"
#include "history/HistoryStore.h"
#include "settings/Profile.h"

namespace velmor {

namespace {

constexpr const char* kPlacementSection = "WindowRect";
constexpr int kIndicatorPeriodMs = 250;
constexpr int kLinkPanePeriodMs = 250;
const QString kTitle = QStringLiteral("  Velmor - GPS Windows User Interface Application Program");

// A saved edge pair as a size the window system accepts, whatever the file holds.
int Extent(int from, int to)
{
    const long long extent = static_cast<long long>(to) - from;
    return static_cast<int>(std::clamp(extent, 1LL, 100000LL));
}

}  // namespace

CMainFrame::CMainFrame(CProgram& program, CQtHost& host, CProfile& profile, QWidget* pParent)
    : QMainWindow(pParent), m_program(program), m_host(host), m_profile(profile)
{
    setWindowTitle(kTitle);
    m_pView = new CTrevikView(program, host, this);
    setCentralWidget(m_pView);
    m_host.SetMainWindow(this);
    m_pEvents = new CEventsWindow(this);
    SetEventLogDirectory(DefaultEventLogDirectory());
    m_pAlarms = std::make_unique<CAlarmMonitor>(program.Alarms(),
                                                [this](const CAlarmEvent& event) { OnAlarmEvent(event); });
    m_program.Session().AddObserver(*m_pAlarms);
    connect(m_pView, &CTrevikView::PollTicked, this, &CMainFrame::OnPollTicked);
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    // Room for the 67-column page in the default font until a saved
    // placement says otherwise.
    resize(640, 600);
}

CMainFrame::~CMainFrame()
{
    m_host.SetMainWindow(nullptr);
    // The view goes first, while this window still stands: its destroy
    // handling may send the farewell command and report a failure.
    delete m_pView;
    m_pView = nullptr;
    // The farewell above is still captured and watched; then both let go.
    StopCapture();
    m_program.Session().RemoveObserver(m_capture);
    m_program.Session().RemoveObserver(*m_pAlarms);
}

void CMainFrame::SetEventLogDirectory(const std::string& directory)
{
    // The log writes on a thread of its own; its one failure message comes
    // back to the GUI thread for the status bar.
    m_pEventLog.reset();
    m_pEventLog = std::make_unique<CQueuedEventLog>(directory, [this](const std::string& message) {
        std::fprintf(stderr, "velmor: %s; events are no longer logged\n", message.c_str());
        const QString text = QString::fromStdString(message);
        QMetaObject::invokeMethod(this, [this, text] { statusBar()->showMessage(text); }, Qt::QueuedConnection);
    });
}

void CMainFrame::OnPollTicked()
{
    const std::uint64_t now = m_host.TickCount();
    m_pAlarms->Tick(now);
    m_capture.Tick(now);
}

void CMainFrame::OnAlarmEvent(const CAlarmEvent& event)
{
    const std::time_t now = std::time(nullptr);
    const QString name = QString::fromStdString(event.m_strName);
    const QString values = QString::fromStdString(event.m_strValues);
    m_pEvents->AddEvent(QDateTime::fromSecsSinceEpoch(now).toUTC().toString(Qt::ISODate), name, values);
    m_pEventLog->Append(event, now);  // queued: the file is written by the log's own thread
    // The store queues the row for its worker: nothing here waits for a disk.
    if (m_pEventStore) m_pEventStore->AppendEvent(static_cast<std::int64_t>(now) * 1000, event.m_strName, event.m_strValues);
    const CAlarmSettings& settings = m_program.Alarms();
    if (!settings.Notifies(event.m_condition)) return;
    // The notification says since when, on the wall clock.
    const std::uint64_t tick = m_host.TickCount();
    const std::uint64_t agoS = tick > event.m_qwSinceTick ? (tick - event.m_qwSinceTick) / 1000 : 0;
    const std::time_t since = now - static_cast<std::time_t>(agoS);
    m_notifier.Notify(QString::fromUtf8(UnitEventTitle(event.m_event)),
                      QString::fromStdString(EventSentence(event, since)),
                      static_cast<int>(UnitEventUrgency(event.m_event)));
    if (settings.m_bSound) m_host.PlaySound(Sound::Exclamation);
}

bool CMainFrame::StartCapture(const QString& path, QString& error)
{
    std::string why;
    if (!m_capture.Start(path.toStdString(), m_host.TickCount(), std::time(nullptr), why)) {
        error = QString::fromStdString(why);
        return false;
    }
    m_capture.SetErrorSink([this](const std::string& message) {
        // The capture has closed itself; the menu shows it.
        std::fprintf(stderr, "velmor: %s; capture stopped\n", message.c_str());
        statusBar()->showMessage(QString::fromStdString(message));
        if (QAction* pAction = Action(ID_FILE_CAPTURE)) {
            const QSignalBlocker blocker(pAction);
            pAction->setChecked(false);
        }
    });
    m_program.Session().AddObserver(m_capture);
    if (QAction* pAction = Action(ID_FILE_CAPTURE)) {
        const QSignalBlocker blocker(pAction);
        pAction->setChecked(true);
    }
    statusBar()->showMessage(QStringLiteral("Capturing traffic to ") + path);
    return true;
}

void CMainFrame::StopCapture()
{
    if (!m_capture.IsCapturing()) return;
    m_capture.Stop(m_host.TickCount());
    if (QAction* pAction = Action(ID_FILE_CAPTURE)) {
        const QSignalBlocker blocker(pAction);
        pAction->setChecked(false);
    }
}

void CMainFrame::OnCaptureToggled(bool checked)
{
    if (!checked) {
        StopCapture();
        return;
    }
    const QString suggested = QDir::home().filePath(
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("'velmor-capture-'yyyyMMdd-HHmmss'.replay'")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Capture Traffic"), suggested,
                                                      QStringLiteral("Replay scripts (*.replay);;All files (*)"));
    QString error;
    if (path.isEmpty() || !StartCapture(path, error)) {
        if (QAction* pAction = Action(ID_FILE_CAPTURE)) {
            const QSignalBlocker blocker(pAction);
            pAction->setChecked(false);
        }
        if (!error.isEmpty()) QMessageBox::warning(this, QStringLiteral("Capture Traffic"), error);
    }
}

void CMainFrame::CopyPage()
{
    QString text = QString::fromUtf8(m_pView->LastPage().data(), static_cast<qsizetype>(m_pView->LastPage().size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QGuiApplication::clipboard()->setText(text);
}

void CMainFrame::BuildMenus()
{
    std::map<std::string, QMenu*> menus;
    for (const CMenuItem& item : MenuItems()) {
        QMenu*& pMenu = menus[item.m_pszMenu];
        if (!pMenu) {
            pMenu = menuBar()->addMenu(QString::fromLatin1(item.m_pszMenu));
            QMenu* pShown = pMenu;
            // The rules follow the identification: ask again at every opening.
            connect(pMenu, &QMenu::aboutToShow, this, [this, pShown] { UpdateMenu(pShown); });
        }
        QAction* pAction = pMenu->addAction(QString::fromLatin1(item.m_pszItem));
        const int id = item.m_nCommand;
        pAction->setData(id);
        if (*item.m_pszPrompt) pAction->setStatusTip(QString::fromLatin1(item.m_pszPrompt));
        if (id == ID_APP_EXIT) {
            connect(pAction, &QAction::triggered, this, &QWidget::close);
        } else if (id == ID_FILE_CAPTURE) {
            pAction->setCheckable(true);
            connect(pAction, &QAction::toggled, this, &CMainFrame::OnCaptureToggled);
        } else if (id == ID_VIEW_EVENTS) {
            connect(pAction, &QAction::triggered, this, [this] {
                ShowFirstInsideScreen(*m_pEvents);
                m_pEvents->show();
                m_pEvents->raise();
                m_pEvents->activateWindow();
            });
        } else if (id == ID_VIEW_COPY_PAGE) {
            pAction->setShortcut(QKeySequence::Copy);
            connect(pAction, &QAction::triggered, this, &CMainFrame::CopyPage);
        } else if (id == ID_VIEW_LINK_HEALTH) {
            connect(pAction, &QAction::triggered, this, &CMainFrame::ShowLinkHealth);
        } else if (id == ID_COM_REFERENCE_COUNTER) {
            connect(pAction, &QAction::triggered, this, &CMainFrame::OpenCounterSetup);
        } else {
            connect(pAction, &QAction::triggered, this, [this, id] {
                m_program.OnCommand(id);
                ShowOpenFailure();
            });
        }
        m_actions[id] = pAction;
    }
    // The recorded history has no command of the core: the window is the
    // desktop program's own, after the View menu's items.
    if (QMenu* pView = menus["&View"]) {
        QAction* pHistory = pView->addAction(QStringLiteral("&History"));
        pHistory->setObjectName(QStringLiteral("actionHistory"));
        pHistory->setStatusTip(QStringLiteral("Plots of the recorded readings and their stability"));
        connect(pHistory, &QAction::triggered, this, &CMainFrame::OpenHistory);
    }
}

void CMainFrame::SetHistory(CHistoryFeed* pFeed, std::string databasePath)
{
    m_pHistory = pFeed;
    m_strHistoryPath = std::move(databasePath);
    m_pEventStore = pFeed ? &pFeed->Store() : nullptr;
    if (!pFeed) return;
    connect(m_pView, &CTrevikView::PollTicked, pFeed, &CHistoryFeed::OnTick);
    // Shown in the message pane, once per change of the store's state: a
    // failing disk must not stack up boxes.
    connect(pFeed, &CHistoryFeed::Notice, this, [this](const QString& text) { statusBar()->showMessage(text); });
}

CHistoryWindow* CMainFrame::HistoryWindow() const { return m_pHistoryWindow; }

void CMainFrame::SetCounter(CCounterFeed* pCounter)
{
    m_pCounter = pCounter;
    if (m_pLinkHealth) m_pLinkHealth->SetCounter(pCounter);
    if (!pCounter) return;
    // After the history's tick: the unit's rows of this tick are known.
    connect(m_pView, &CTrevikView::PollTicked, pCounter, &CCounterFeed::OnTick);
    connect(pCounter, &CCounterFeed::Notice, this, [this](const QString& text) { statusBar()->showMessage(text); });
}

void CMainFrame::OpenCounterSetup()
{
    if (m_pCounterDialog) return;
    const CCounterSettings current = m_pCounter ? m_pCounter->Settings() : LoadCounterSettings(m_profile);
    CCounterDialog dialog(current, this);
    m_pCounterDialog = &dialog;
    const int answer = dialog.exec();
    m_pCounterDialog = nullptr;
    if (answer != QDialog::Accepted) return;
    const CCounterSettings chosen = dialog.Settings();
    if (!SaveCounterSettings(m_profile, chosen))
        statusBar()->showMessage(QStringLiteral("The reference counter's settings could not be saved"));
    if (m_pCounter) m_pCounter->Apply(chosen);
}

void CMainFrame::OpenHistory()
{
    if (!m_pHistoryWindow) {
        if (m_strHistoryPath.empty()) m_strHistoryPath = DefaultHistoryPath();
        // What was queued a moment ago belongs in the first picture.
        if (m_pHistory) m_pHistory->Flush(1000);
        if (m_pCounter) m_pCounter->Flush(1000);
        m_pHistoryWindow = new CHistoryWindow(m_strHistoryPath, this, &m_profile);
        m_pHistoryWindow->setAttribute(Qt::WA_DeleteOnClose);
        ShowFirstInsideScreen(*m_pHistoryWindow);
    }
    m_pHistoryWindow->show();
    m_pHistoryWindow->raise();
    m_pHistoryWindow->activateWindow();
}

void CMainFrame::UpdateMenu(QMenu* pMenu)
{
    for (QAction* pAction : pMenu->actions()) {
        bool ok = false;
        const int id = pAction->data().toInt(&ok);
        if (ok) pAction->setEnabled(m_program.IsCommandEnabled(id));
    }
}

QAction* CMainFrame::Action(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::BuildToolBar()
{
    QToolBar* pBar = addToolBar(QStringLiteral("Standard"));
    pBar->setObjectName(QStringLiteral("toolBar"));
    // The framework's new-document command: the program adds nothing to it.
    QAction* pNew = pBar->addAction(style()->standardIcon(QStyle::SP_FileIcon), QStringLiteral("New"));
    pNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    pNew->setObjectName(QStringLiteral("toolNew"));
    QAction* pAbout = pBar->addAction(style()->standardIcon(QStyle::SP_MessageBoxQuestion), QStringLiteral("About"));
    pAbout->setObjectName(QStringLiteral("toolAbout"));
    connect(pAbout, &QAction::triggered, this, [this] { m_program.OnCommand(ID_APP_ABOUT); });
}

void CMainFrame::BuildStatusBar()
{
    QStatusBar* pBar = statusBar();
    auto indicator = [&](const char* text) {
        auto* pLabel = new QLabel(QString::fromLatin1(text), pBar);
        pLabel->setObjectName(QString::fromLatin1(text));
        pLabel->setFrameShape(QFrame::Panel);
        pLabel->setFrameShadow(QFrame::Sunken);
        pLabel->setAlignment(Qt::AlignCenter);
        pLabel->setMinimumWidth(pLabel->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
        pBar->addPermanentWidget(pLabel);
        return pLabel;
    };
    // The link pane sits left of the key indicators; the message pane keeps
    // the menu prompts.
    m_pLinkPane = new QLabel(pBar);
    m_pLinkPane->setObjectName(QStringLiteral("linkPane"));
    m_pLinkPane->setFrameShape(QFrame::Panel);
    m_pLinkPane->setFrameShadow(QFrame::Sunken);
    m_pLinkPane->setMinimumWidth(m_pLinkPane->fontMetrics().horizontalAdvance(QStringLiteral("No data from the unit for 000 s")) + 8);
    pBar->addPermanentWidget(m_pLinkPane);
    UpdateLinkState();
    connect(&m_linkTimer, &QTimer::timeout, this, &CMainFrame::UpdateLinkState);
    m_linkTimer.start(kLinkPanePeriodMs);
    m_pCaps = indicator("CAP");
    m_pNum = indicator("NUM");
    m_pScroll = indicator("SCRL");
    // Where the lock states cannot be read the indicators stay plain labels.
    CLockKeyState state;
    if (ReadLockKeys(state)) {
        UpdateIndicators();
        connect(&m_indicatorTimer, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
        m_indicatorTimer.start(kIndicatorPeriodMs);
    }
}

void CMainFrame::UpdateIndicators()
{
    CLockKeyState state;
    if (!ReadLockKeys(state)) return;
    // A disabled label is drawn grey: the key is off.
    m_pCaps->setEnabled(state.m_bCaps);
    m_pNum->setEnabled(state.m_bNum);
    m_pScroll->setEnabled(state.m_bScroll);
}

void CMainFrame::UpdateLinkState()
{
    const CLinkPane pane = m_program.Session().LinkPane();
    const QString text = QString::fromStdString(pane.m_strText);
    if (m_pLinkPane->text() != text) m_pLinkPane->setText(text);
    QString title = kTitle;
    if (pane.m_state == LinkState::Disconnected) title = QStringLiteral("[disconnected] ") + kTitle;
    else if (m_program.Session().Health().IsStale()) title = QStringLiteral("[stale] ") + kTitle;
    if (windowTitle() != title) setWindowTitle(title);
    if (m_pView) m_pView->SetDimmed(m_program.Session().IsDataDimmed());
}

void CMainFrame::ShowFirstInsideScreen(QWidget& window)
{
    // Placed once: where the operator moves it afterwards is theirs.
    if (window.property("velmorPlaced").toBool()) return;
    window.setProperty("velmorPlaced", true);
    PlaceInsideScreen(window, this);
}

void CMainFrame::ShowLinkHealth()
{
    if (!m_pLinkHealth) {
        m_pLinkHealth = new CLinkHealthWindow(m_program, this);
        m_pLinkHealth->SetCounter(m_pCounter);
    }
    ShowFirstInsideScreen(*m_pLinkHealth);
    m_pLinkHealth->show();
    m_pLinkHealth->raise();
    m_pLinkHealth->activateWindow();
}

void CMainFrame::RestorePlacement()
{
    const QRect current = frameGeometry();
    const int left = m_profile.GetInt(kPlacementSection, "left", current.x());
    const int top = m_profile.GetInt(kPlacementSection, "top", current.y());
    const int right = m_profile.GetInt(kPlacementSection, "right", current.x() + current.width());
    const int bottom = m_profile.GetInt(kPlacementSection, "bottom", current.y() + current.height());
    m_wantedFrame = QRect(left, top, Extent(left, right), Extent(top, bottom));
    // A rectangle saved on a larger screen, or partly off it, is brought
    // inside the available area of the screen it is on (or the primary one).
    m_wantedFrame = FitInside(m_wantedFrame, AvailableAreaAt(m_wantedFrame));
    ApplyPlacement();
    // The window frame is known only once the window is shown; the size is
    // corrected then so that the outer rectangle is the saved one.
    m_bPlacementPending = true;
}

void CMainFrame::ApplyPlacement()
{
    const QSize frame = frameGeometry().size() - geometry().size();
    move(m_wantedFrame.topLeft());
    resize(std::max(1, m_wantedFrame.width() - frame.width()), std::max(1, m_wantedFrame.height() - frame.height()));
    // A window that cannot become as small as asked (its bars) still stays inside.
    const QRect fitted = FitInside(frameGeometry(), AvailableAreaAt(frameGeometry()));
    if (fitted.topLeft() != frameGeometry().topLeft()) move(fitted.topLeft());
}

void CMainFrame::showEvent(QShowEvent* pEvent)
{
    QMainWindow::showEvent(pEvent);
    if (!m_bPlacementPending) return;
    m_bPlacementPending = false;
    QTimer::singleShot(100, this, [this] {
        if (frameGeometry().size() != geometry().size()) ApplyPlacement();
    });
}

void CMainFrame::closeEvent(QCloseEvent* pEvent)
{
    const QRect frame = frameGeometry();
    m_profile.WriteString(kPlacementSection, "left", std::to_string(frame.x()));
    m_profile.WriteString(kPlacementSection, "top", std::to_string(frame.y()));
    m_profile.WriteString(kPlacementSection, "right", std::to_string(frame.x() + frame.width()));
    m_profile.WriteString(kPlacementSection, "bottom", std::to_string(frame.y() + frame.height()));
    m_program.OnMainWindowClose();
    // A notice still up would keep the application from ending with its
    // main window.
    if (CNoticeWindow* pNotice = m_host.Notice()) pNotice->hide();
    if (m_pHistoryWindow) m_pHistoryWindow->close();
    pEvent->accept();
}

void CMainFrame::ShowOpenFailure()
{
    // The boxes keep their fixed texts; the status bar says why in words a
    // person can act on (no such device, permission, in use...).
    if (!m_program.Session().IsPortOpen() && !m_program.Session().LastOpenError().empty())
        statusBar()->showMessage(QString::fromStdString(m_program.Session().LastOpenError()));
}

}  // namespace velmor
