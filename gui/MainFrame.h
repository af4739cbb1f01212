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
#include <memory>

#include "DesktopNotifier.h"
#include "alarms/AlarmMonitor.h"
#include "alarms/QueuedEventLog.h"
#include "capture/TrafficCapture.h"
#include <string>

namespace velmor {

class CProgram;
class CProfile;
class CQtHost;
class CTrevikView;
class CEventsWindow;
class CHistoryStore;
class CHistoryFeed;
class CHistoryWindow;
class CLinkHealthWindow;
class CCounterFeed;
class CCounterDialog;

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

    // Starts capturing the traffic into |path| (File > Capture Traffic, or
    // --capture); false with |error| set when the file cannot be made.
    bool StartCapture(const QString& path, QString& error);
    void StopCapture();
    bool IsCapturing() const { return m_capture.IsCapturing(); }
    // Puts the page last drawn on the clipboard (View > Copy Page).
    void CopyPage();
    CEventsWindow* EventsWindow() const { return m_pEvents; }
    CDesktopNotifier& Notifier() { return m_notifier; }
    // Where the alarm events are logged; the default is the user's state
    // directory (tests point it elsewhere).
    void SetEventLogDirectory(const std::string& directory);
    // Waits until the events log has written every event raised so far.
    void FlushEventLog() { if (m_pEventLog) m_pEventLog->Flush(); }
    // Alarm events also go to the recorded history while a store is set
    // (null: none); the store must outlive the window or be unset first.
    void SetHistoryStore(CHistoryStore* pStore) { m_pEventStore = pStore; }
    // The history recording fed from the poll tick (null: none) and the
    // database the History window reads. Alarm events go to its store too.
    void SetHistory(CHistoryFeed* pFeed, std::string databasePath);
    // View > History: opens the window, or raises it when open.
    void OpenHistory();
    CHistoryWindow* HistoryWindow() const;
    // The reference counter beside the unit (null: none); Com Setup >
    // Reference Counter... sets it up, the Link Health window shows it.
    void SetCounter(CCounterFeed* pCounter);
    CCounterFeed* Counter() const { return m_pCounter; }
    // Com Setup > Reference Counter...: the dialog, modal; OK stores the
    // settings and applies them.
    void OpenCounterSetup();
    // The dialog while it is open (tests).
    CCounterDialog* CounterDialog() const { return m_pCounterDialog; }

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void UpdateIndicators();
    void ApplyPlacement();
    // Before |window|'s first showing: centred over this one, inside the
    // screen's available area.
    void ShowFirstInsideScreen(QWidget& window);
    void OnAlarmEvent(const CAlarmEvent& event);
    void OnCaptureToggled(bool checked);
    void OnPollTicked();

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
    CHistoryFeed* m_pHistory = nullptr;
    CCounterFeed* m_pCounter = nullptr;
    CCounterDialog* m_pCounterDialog = nullptr;  // while it is open
    std::string m_strHistoryPath;
    QPointer<CHistoryWindow> m_pHistoryWindow;
    QRect m_wantedFrame;  // the saved outer rectangle, until the frame is known
    bool m_bPlacementPending = false;

    CEventsWindow* m_pEvents = nullptr;
    std::unique_ptr<CQueuedEventLog> m_pEventLog;
    CDesktopNotifier m_notifier;
    std::unique_ptr<CAlarmMonitor> m_pAlarms;
    CTrafficCapture m_capture;
    CHistoryStore* m_pEventStore = nullptr;
};

}  // namespace velmor
