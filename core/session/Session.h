#pragma once
// One connected unit, with no UI in it: the link and its device, the sentence
// assembler, the dispatcher and the unit state, link health and recovery,
// the automatic baud switch, the subscription policy and the observers.
// Whatever only a front end can do (a box, a sound, a dialog, a redraw) the
// session asks for through ISessionEvents. The desktop program owns one
// session; the monitor owns one per device; the replay tool one on a virtual
// port.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "display/MessageWindow.h"
#include "health/LinkHealth.h"
#include "link/SentenceAssembler.h"
#include "link/SerialLink.h"
#include "link/SerialSettings.h"
#include "observe/Observation.h"
#include "platform/Host.h"
#include "platform/SerialDevice.h"
#include "protocol/DialogInterfaces.h"
#include "protocol/ReplyHost.h"
#include "protocol/UnitState.h"
#include "readings/Readings.h"
#include "settings/Profile.h"

namespace velmor {

// What an unattended front end wants the session to retry by itself, where
// the desktop would ask its user. Both off by default (the desktop).
struct CSessionRecovery {
    // Reopen a device that failed to open, every period.
    bool m_bReopenFailedOpen = false;
    // With the baud switch off, run StartPolling every period while the unit
    // is unidentified: at a fixed rate nothing else asks a silent unit again.
    bool m_bReidentifyAtFixedRate = false;
    int m_nPeriodMs = 5000;
};

class CSession : public IReplyHost, private ISentenceSink, private ILinkEventListener {
public:
    CSession(ISessionEvents& events, SerialDevice& device, CProfile& profile);
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    // ---- open and close ----------------------------------------------------
    // Reads the serial settings (before the port is opened); the port counts
    // as closed.
    void LoadSettings();
    // Opens the port with the settings; true when it opened. A failure has
    // shown the link's own boxes.
    bool Open();
    // The text of the "Init. Failed" box after Open failed.
    std::string OpenFailureText() const;
    // Purges and closes the port.
    void Close();
    // Close and reopen the port with its boxes. While the device is lost it
    // is one more quiet attempt to open it again, unless |explicitReopen|
    // (the user has just chosen the port in the serial-port dialog).
    void InitComm(Owner owner = Owner::View, bool explicitReopen = false);
    // After a reconfiguration: reopen the port, then poll and identify again.
    void ReopenAndPoll()
    {
        InitComm();
        StartPolling();
    }
    // The unit stops its reports (the farewell), when the port is open.
    void SayFarewell();

    // ---- polling -------------------------------------------------------------
    void StartPolling();
    void StopPolling();
    // The poll timer's tick: the two- and five-second periods, the read and
    // the silence checks.
    void OnPollTimer();
    // The tick of a front end without a poll timer of its own (the monitor):
    // the poll tick while polling runs, then the recovery options.
    void Tick();
    void SetRecovery(const CSessionRecovery& recovery) { m_recovery = recovery; }
    // When false the session never changes the line rate by itself after
    // silence (an unattended monitor told its rate keeps it).
    void SetAutoBaudSwitch(bool on) { m_bAutoBaudSwitch = on; }
    bool AutoBaudSwitch() const { return m_bAutoBaudSwitch; }

    // ---- modal windows and the polling watchdog ----------------------------
    // A modal dialog or box has closed; the desktop calls this once its
    // event loop runs again. When polling is still stopped with the port
    // open, no other modal window open and no menu command under way, a
    // redraw is asked for so that the page-refresh step runs: a setup
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

    // ---- the page-refresh step --------------------------------------------
    // What drawing the page means to the unit. Starts polling when the port
    // is open but polling is not running (and returns false); otherwise,
    // when the page is due (dirty, or polling stopped), sends the commands
    // that go with a drawing (OUTQ/SSTA/TIMR, the position-subscription
    // switch, ESTC), marks the page clean and returns true: the caller builds
    // the page text from State(), or throws nothing away when it has no page.
    bool OnPageRefresh();

    // ---- commands ------------------------------------------------------------
    // While the device is lost, commands are dropped; only a command the
    // user started gets the write-failure box, once per command.
    void SendCommand(std::string_view body) override;
    // Writes bytes that are already a framed sentence (a line sharer's client
    // command) as they are. False when the port is closed or the write failed;
    // no box: the caller decides what a lost client command means.
    bool WriteFramed(std::string_view framed) { return m_link.WriteFramed(framed); }
    // Commands run from a menu are the user's; ticks and paints nested in
    // them are the session's own. One scope per menu command.
    class CUserCommand {
    public:
        explicit CUserCommand(CSession& session);
        ~CUserCommand();
        CUserCommand(const CUserCommand&) = delete;
        CUserCommand& operator=(const CUserCommand&) = delete;

    private:
        CSession& m_session;
    };

    // ---- receive path ----------------------------------------------------------
    void FeedBytes(const std::uint8_t* data, std::size_t size);
    void DispatchSentence(const std::string& body);

    // ---- what the reply handlers may ask for ----------------------------------
    void RequestRedraw() override;
    IAboutDlg* AboutDlg() override { return m_pAboutDlg; }
    IEventTriggerDlg* EventTriggerDlg() override { return m_pEventTriggerDlg; }
    IRateOutputDlg* RateOutputDlg() override { return m_pRateOutputDlg; }
    ITimeTagDlg* TimeTagDlg() override { return m_pTimeTagDlg; }
    void ShowErrorBox(const std::string& text, const std::string& caption) override;
    void OnUnitIdentified() override;
    void RestartLink() override;

    // The live dialogs register while they are open (null closes).
    void SetAboutDlg(IAboutDlg* dialog) { m_pAboutDlg = dialog; }
    void SetEventTriggerDlg(IEventTriggerDlg* dialog) { m_pEventTriggerDlg = dialog; }
    void SetRateOutputDlg(IRateOutputDlg* dialog) { m_pRateOutputDlg = dialog; }
    void SetTimeTagDlg(ITimeTagDlg* dialog) { m_pTimeTagDlg = dialog; }

    // ---- what the setup commands record of what they sent ------------------
    // Before the cold-start body goes out; the send clears it.
    void MarkColdStartPending() { m_link.m_bColdStartPending = true; }
    void NoteSubscribedPositionMode(char mode) { m_state.m_chSubscribedPositionMode = mode; }
    void NoteAntennaDelay(const std::string& text) { m_state.m_strAntennaDelay = text; }
    void NoteMaskAngle(int angle) { m_state.m_nMaskAngle = angle; }
    void NoteTodRate(int rate) { m_state.m_nTodRate = rate; }
    // The About box asks the unit again: its answer decides the type anew.
    void ForgetReportedProductType();

    // ---- observers of the unit's data ----------------------------------------
    // Observers hear of every handled sentence and link event, in arrival
    // order, until removed. The link health is always the first.
    void AddObserver(IUnitObserver& observer);
    void RemoveObserver(IUnitObserver& observer);

    // ---- reading the session ---------------------------------------------------
    const CUnitState& State() const { return m_state; }
    // The typed readings, decoded once after each handled sentence.
    const CReadings& Readings() const { return m_readings; }
    const SerialSettings& Serial() const { return m_serial; }
    void SetSerial(const SerialSettings& serial) { m_serial = serial; }
    bool IsPortOpen() const { return m_link.m_bPortOpen; }
    bool IsPolling() const { return m_bTimerRunning; }
    bool CanChangeLineSettings() const { return m_link.CanChangeLineSettings(); }
    const std::string& LastOpenError() const { return m_link.LastOpenError(); }
    std::string PortPath() const { return m_link.PortPath(m_serial.m_nPort); }
    const CLinkHealth& Health() const { return m_health; }
    void ResetHealthCounters() { m_health.ResetCounters(); }
    // The link pane's state and text now.
    CLinkPane LinkPane() { return m_health.Pane(m_events.TickCount(), m_link.m_bPortOpen, IsPollingPaused()); }
    // The page shows nothing known to be live: no port, no time report yet,
    // stale data, or the device gone.
    bool IsDataDimmed() { return IsPageDimmedIn(LinkPane().m_state) || m_health.IsStale() || m_bPortLost; }
    bool IsPortLost() const { return m_bPortLost; }
    ISessionEvents& Events() { return m_events; }
    CProfile& Profile() { return m_profile; }
    const CProfile& Profile() const { return m_profile; }
    CMessageWindow& MessageWindow() { return m_wndMessage; }

    // Tests, benchmarks and fuzz targets set up a unit without its
    // sentences; nothing else writes the state from outside.
    CUnitState& StateForTest() { return m_state; }
    CSerialLink& LinkForTest() { return m_link; }
    CLinkHealth& HealthForTest() { return m_health; }
    void SetQueryInProgressForTest(bool on) { m_bQueryInProgress = on; }

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
    void RunRecoveryOptions();
    bool InUserCommand() const { return m_nUserCommandDepth > 0; }

    ISessionEvents& m_events;
    CProfile& m_profile;
    SerialSettings m_serial;
    CUnitState m_state;
    CReadings m_readings;
    CSerialLink m_link;
    CSentenceAssembler m_assembler;
    CMessageWindow m_wndMessage;
    CLinkHealth m_health;

    bool m_bTimerRunning = false;
    bool m_bQueryInProgress = false;
    bool m_bCommRecoveryDone = false;
    bool m_bMessageWindowSuppressed = false;
    bool m_bAutoBaudSwitch = true;
    int m_nSilentPeriods = 0;
    std::uint64_t m_qwTwoSecondDeadline = 0;
    std::uint64_t m_qwFiveSecondDeadline = 0;
    // Section "Recovery", key "AutoRecover": restart polling after silence.
    bool m_bAutoRecover = true;
    // The device hung up or vanished; the poll tries to reopen it every 2 s.
    bool m_bPortLost = false;
    std::string m_strLostDevice;
    std::uint64_t m_qwNextReconnect = 0;
    CSessionRecovery m_recovery;
    std::uint64_t m_qwNextReopen = 0;
    std::uint64_t m_qwNextReidentify = 0;

    IAboutDlg* m_pAboutDlg = nullptr;
    IEventTriggerDlg* m_pEventTriggerDlg = nullptr;
    IRateOutputDlg* m_pRateOutputDlg = nullptr;
    ITimeTagDlg* m_pTimeTagDlg = nullptr;

    // Commands run from the menu, and ticks and paints nested inside them
    // (which are the session's own doing, not the user's).
    friend class CSessionOwnScope;
    int m_nUserCommandDepth = 0;
    bool m_bUserFailureShown = false;
    bool m_bRecoveryStart = false;       // StartPolling run by the recovery
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
