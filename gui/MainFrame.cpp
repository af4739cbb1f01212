#include "MainFrame.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <algorithm>

#include "LinkHealthWindow.h"
#include "LockKeys.h"
#include "NoticeWindow.h"
#include "QtHost.h"
#include "TrevikView.h"
#include "app/Menu.h"
#include "app/Program.h"
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
        if (id == ID_APP_EXIT)
            connect(pAction, &QAction::triggered, this, &QWidget::close);
        else if (id == ID_VIEW_LINK_HEALTH)
            connect(pAction, &QAction::triggered, this, &CMainFrame::ShowLinkHealth);
        else
            connect(pAction, &QAction::triggered, this, [this, id] {
                m_program.OnCommand(id);
                ShowOpenFailure();
            });
        m_actions[id] = pAction;
    }
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
    const CLinkPane pane = m_program.LinkPane();
    const QString text = QString::fromStdString(pane.m_strText);
    if (m_pLinkPane->text() != text) m_pLinkPane->setText(text);
    QString title = kTitle;
    if (pane.m_state == LinkState::Disconnected) title = QStringLiteral("[disconnected] ") + kTitle;
    else if (m_program.m_health.IsStale()) title = QStringLiteral("[stale] ") + kTitle;
    if (windowTitle() != title) setWindowTitle(title);
    if (m_pView) m_pView->SetDimmed(m_program.IsDataDimmed());
}

void CMainFrame::ShowLinkHealth()
{
    if (!m_pLinkHealth) m_pLinkHealth = new CLinkHealthWindow(m_program, this);
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
    pEvent->accept();
}

void CMainFrame::ShowOpenFailure()
{
    // The boxes keep their fixed texts; the status bar says why in words a
    // person can act on (no such device, permission, in use...).
    if (!m_program.m_link.m_bPortOpen && !m_program.m_link.LastOpenError().empty())
        statusBar()->showMessage(QString::fromStdString(m_program.m_link.LastOpenError()));
}

}  // namespace velmor
