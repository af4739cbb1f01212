#pragma once
// The main window: menu bar built from the core's menu table (enabling
// asked of core each time a menu opens), the tool bar, the status bar with
// its key indicators, the status view as its client, and the window
// placement kept in section "WindowRect" of the settings file.

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <map>
#include <string>

namespace velmor {

class CProgram;
class CProfile;
class CQtHost;
class CTrevikView;
class CHistoryFeed;
class CHistoryWindow;

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

    // The history recording fed from the poll tick (null: none) and the
    // database the History window reads.
    void SetHistory(CHistoryFeed* pFeed, std::string databasePath);
    // View > History: opens the window, or raises it when open.
    void OpenHistory();
    CHistoryWindow* HistoryWindow() const;

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
    QLabel* m_pCaps = nullptr;
    QLabel* m_pNum = nullptr;
    QLabel* m_pScroll = nullptr;
    QTimer m_indicatorTimer;
    CHistoryFeed* m_pHistory = nullptr;
    std::string m_strHistoryPath;
    QPointer<CHistoryWindow> m_pHistoryWindow;
    QRect m_wantedFrame;  // the saved outer rectangle, until the frame is known
    bool m_bPlacementPending = false;
};

}  // namespace velmor
