#pragma once
// The main window: menu bar built from the core's menu table (enabling
// asked of core each time a menu opens), the tool bar, the status bar with
// its key indicators, the status view as its client, and the window
// placement kept in section "WindowRect" of the settings file.

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <map>

namespace velmor {

class CProgram;
class CProfile;
class CQtHost;
class CTrevikView;
class CLinkHealthWindow;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CProgram& program, CQtHost& host, CProfile& profile, QWidget* pParent = nullptr);
    ~CMainFrame() override;
    // After an attempt to open the port: why it failed, in the status bar.
    void ShowOpenFailure();

    // Moves and sizes the window to the saved outer rectangle; keys that are
    // missing keep the window's current edges.
    void RestorePlacement();
    CTrevikView* View() const { return m_pView; }
    // The action of command |id| (tests); null when none.
    QAction* Action(int id) const;
    // Evaluates the enabling rules of every item of |pMenu|.
    void UpdateMenu(QMenu* pMenu);
    // The link pane, the window title's mark and the page's dimming, from
    // core's link health (a timer calls it; tests call it directly).
    void UpdateLinkState();
    QLabel* LinkPane() const { return m_pLinkPane; }
    // Opens (or raises) the Link Health window.
    void ShowLinkHealth();
    CLinkHealthWindow* LinkHealthWindow() const { return m_pLinkHealth; }

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void UpdateIndicators();
    void ApplyPlacement();

    CProgram& m_program;
    CQtHost& m_host;
    CProfile& m_profile;
    CTrevikView* m_pView = nullptr;
    std::map<int, QAction*> m_actions;
    QLabel* m_pLinkPane = nullptr;
    QTimer m_linkTimer;
    CLinkHealthWindow* m_pLinkHealth = nullptr;
    QLabel* m_pCaps = nullptr;
    QLabel* m_pNum = nullptr;
    QLabel* m_pScroll = nullptr;
    QTimer m_indicatorTimer;
    QRect m_wantedFrame;  // the saved outer rectangle, until the frame is known
    bool m_bPlacementPending = false;
};

}  // namespace velmor
