#pragma once
// The one object that holds the program-wide state: serial settings, the link
// and its flags, the sentence assembler, the unit state, the open-dialog
// references, the message window and the display font. The view (Qt or the
// replay tool) owns it and routes paint, timer and menu commands into it.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "alarms/AlarmSettings.h"
#include "display/MessageWindow.h"
#include "display/StatusPage.h"
#include "health/LinkHealth.h"
#include "link/SentenceAssembler.h"
#include "link/SerialLink.h"
#include "link/SerialSettings.h"
#include "observe/Observation.h"
#include "platform/Host.h"
#include "platform/SerialDevice.h"
#include "platform/SerialPorts.h"
#include "protocol/DialogInterfaces.h"
#include "protocol/ReplyHost.h"
#include "protocol/UnitState.h"
#include "settings/FontSettings.h"
#include "settings/Profile.h"

namespace velmor {

class CProgram : public IReplyHost, private ISentenceSink, private ILinkEventListener {
public:
    CProgram(Host& host, SerialDevice& device, CProfile& profile);
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    // ---- start-up and shutdown -------------------------------------------
    // Reads the serial settings (before the main window exists).
    void LoadSettingsAtStartup();
    // Opens the port after the main window is shown; on failure runs the
    // "Init. Failed" path with the serial-port dialog.
    void OpenPortAtStartup();
    // The main window closes: the farewell command.
    void OnMainWindowClose();
    // The view is destroyed.
    void OnDestroyView();

    // ---- polling cycle ---------------------------------------------------
    void StartPolling();
    void StopPolling();
    void OnPollTimer();
    // Close and reopen the port with its boxes. While the device is lost it
    // is one more quiet attempt to open it again, unless the user has just
    // chosen the port in the serial-port dialog.
    void InitComm(Owner owner = Owner::View);
    // After a reconfiguration: reopen the port, then poll and identify again.
    void ReopenAndPoll()
    {
        InitComm();
        StartPolling();
    }
    // While the device is lost, commands are dropped; only a command the
    // user started gets the write-failure box, once per command.
    void SendCommand(std::string_view body) override;
    // Writes bytes that are already a framed sentence (a line sharer's client
    // command) as they are. False when the port is closed or the write failed;
    // no box: the caller decides what a lost client command means.
    bool WriteFramed(std::string_view framed) { return m_link.WriteFramed(framed); }

    // ---- receive path ----------------------------------------------------
    void FeedBytes(const std::uint8_t* data, std::size_t size);
    void DispatchSentence(const std::string& body);

    // ---- what the reply handlers may ask for ----------------------------
    void RequestRedraw() override;
    IAboutDlg* AboutDlg() override { return m_pAboutDlg; }
    IEventTriggerDlg* EventTriggerDlg() override { return m_pEventTriggerDlg; }
    IRateOutputDlg* RateOutputDlg() override { return m_pRateOutputDlg; }
    ITimeTagDlg* TimeTagDlg() override { return m_pTimeTagDlg; }
    void ShowErrorBox(const std::string& text, const std::string& caption) override;
    void OnUnitIdentified() override;
    void RestartLink() override;

    // ---- observers of the unit's data ------------------------------------
    // Observers hear of every handled sentence and link event, in arrival
    // order, until removed. None by default.
    void AddObserver(IUnitObserver& observer);
    void RemoveObserver(IUnitObserver& observer);

    // ---- link health -----------------------------------------------------
    // The link pane's state and text now.
    CLinkPane LinkPane() { return m_health.Pane(m_host.TickCount(), m_link.m_bPortOpen, IsPollingPaused()); }
    // The page shows nothing known to be live: no port, no time report yet,
    // stale data, or the device gone.
    bool IsDataDimmed() { return IsPageDimmedIn(LinkPane().m_state) || m_health.IsStale() || m_bPortLost; }
    bool IsPortLost() const { return m_bPortLost; }

    // ---- modal windows and the polling watchdog --------------------------
    // A modal dialog or box has closed; the desktop calls this once its
    // event loop runs again. When polling is still stopped with the port
    // open, no other modal window open and no menu command under way, the
    // view is invalidated so that the drawing decision runs: a setup
    // command left polling stopped on Cancel for the next paint to restart,
    // and a closing window no longer brings that paint by itself.
    void OnModalClosed();
    // The safety net, once a second: restarts polling when the port is open,
    // no modal window or menu command is under way, the timer is stopped
    // and no query is in progress. True when it restarted polling.
    bool OnPollingWatchdog();
    // A setup command holds polling stopped while its dialog is open.
    bool IsPollingPaused() const
    {
        return m_bPollingPaused && m_nMenuCommandDepth > 0 && m_link.m_bPortOpen && !m_bTimerRunning;
    }
    static constexpr int kWatchdogPeriodMs = 1000;

    // ---- the view --------------------------------------------------------
    // The paint decision. Returns true and the page text in |page| when the
    // page is to be drawn this time.
    bool OnPaint(std::string& page);
    // Menu commands and their enabling rules.
    bool IsCommandEnabled(int commandId) const;
    void OnCommand(int commandId);
    void ChooseDisplayFont();
    // The serial-port command (also run by the presets).
    void OnComSetup();

    // ---- state -----------------------------------------------------------
    Host& m_host;
    CProfile& m_profile;
    SerialSettings m_serial;
    CUnitState m_state;
    CSerialLink m_link;
    CSentenceAssembler m_assembler;
    CMessageWindow m_wndMessage;
    CLogFont m_logFont;
    // The alarms' limits and choices (section "Alarms"); the alarm monitor
    // of whoever watches reads them.
    CAlarmSettings m_alarmSettings;
    // The serial devices the port dialog offers; replaceable so that
    // sessions and tests do not depend on the machine's hardware.
    std::function<std::vector<CSerialPortInfo>()> m_deviceLister = EnumerateSerialPorts;

    bool m_bTimerRunning = false;
    bool m_bQueryInProgress = false;
    bool m_bCommRecoveryDone = false;
    bool m_bMessageWindowSuppressed = false;
    // When false the program never changes the line rate by itself after
    // silence (an unattended monitor told its rate keeps it).
    bool m_bAutoBaudSwitch = true;
    int m_nSilentPeriods = 0;
    std::uint64_t m_qwTwoSecondDeadline = 0;
    std::uint64_t m_qwFiveSecondDeadline = 0;

    CLinkHealth m_health;
    // Section "Recovery", key "AutoRecover": restart polling after silence.
    bool m_bAutoRecover = true;
    // The device hung up or vanished; the poll tries to reopen it every 2 s.
    bool m_bPortLost = false;
    std::string m_strLostDevice;
    std::uint64_t m_qwNextReconnect = 0;

    IAboutDlg* m_pAboutDlg = nullptr;
    IEventTriggerDlg* m_pEventTriggerDlg = nullptr;
    IRateOutputDlg* m_pRateOutputDlg = nullptr;
    ITimeTagDlg* m_pTimeTagDlg = nullptr;

    static constexpr int kPollPeriodMs = 200;
    static constexpr std::size_t kReadSize = 512;
    static constexpr int kReconnectPeriodMs = 2000;

private:
    void OnSentence(const std::string& body, bool verified) override;
    void OnChecksumMismatch() override;
    void OnLinkEvent(LinkEvent event, std::span<const std::uint8_t> bytes) override;
    void Notify(LinkEvent event, std::uint32_t reported = 0, std::string_view keyword = {},
                std::span<const std::uint8_t> bytes = {});
    void BaudSwitch();
    // Stale data and the automatic recovery, after the tick has read.
    void CheckSilence();
    void OnPortLost();
    void EndPortLost();
    void TryReconnect(std::uint64_t now);
    bool InUserCommand() const { return m_nUserCommandDepth > 0; }

    // Commands run from the menu, and ticks and paints nested inside them
    // (which are the program's own doing, not the user's).
    friend class CProgramOwnScope;
    int m_nUserCommandDepth = 0;
    bool m_bUserFailureShown = false;
    bool m_bRecoveryStart = false;       // StartPolling run by the recovery
    bool m_bExplicitReopen = false;      // InitComm from the serial-port dialog
    bool m_bAwaitingReidentify = false;  // a recovery or reconnection happened
    // A menu command stopped polling; told once as paused, once as resumed.
    bool m_bPollingPaused = false;
    // Menu commands under way, counted whatever runs nested inside them.
    int m_nMenuCommandDepth = 0;

    std::vector<IUnitObserver*> m_observers;
    int m_nNotifyDepth = 0;
    // The tick of the poll's read while its bytes are fed (0 otherwise).
    std::uint64_t m_qwReadTick = 0;
};

}  // namespace velmor
