#include "app/Program.h"

#include <algorithm>

#include "app/Menu.h"
#include "config/CommSetupDlg.h"
#include "config/SetupCommands.h"
#include "protocol/Dispatcher.h"
#include "protocol/Handlers.h"
#include "protocol/Subscriptions.h"
#include "settings/RecoverySettings.h"
#include "settings/SerialProfile.h"
#include "text/Text.h"

namespace velmor {

// Ticks and paints run inside a menu command's modal dialog too; what they
// send is the program's own doing, not the user's command.
class CProgramOwnScope {
public:
    explicit CProgramOwnScope(CProgram& program) : m_program(program), m_nSaved(program.m_nUserCommandDepth)
    {
        m_program.m_nUserCommandDepth = 0;
    }
    ~CProgramOwnScope() { m_program.m_nUserCommandDepth = m_nSaved; }
    CProgramOwnScope(const CProgramOwnScope&) = delete;
    CProgramOwnScope& operator=(const CProgramOwnScope&) = delete;

private:
    CProgram& m_program;
    int m_nSaved;
};

namespace {
const char* const kWaitText = "Communicate With Unit, Wait...";
const char* const kWaitCaption = "RS-232 Message Window";
}  // namespace

CProgram::CProgram(Host& host, SerialDevice& device, CProfile& profile)
    : m_host(host), m_profile(profile), m_link(host, device, m_state.m_nReportedProductType),
      m_wndMessage(host)
{
    // The periods are measured from the moment the program is loaded, not
    // from the opening of the port.
    const std::uint64_t now = m_host.TickCount();
    m_qwTwoSecondDeadline = now + 2000;
    m_qwFiveSecondDeadline = now + 5000;
    m_link.SetPortPathResolver([this](int port) { return PortDevicePath(m_profile, port); });
    m_link.SetEventListener(this);
    LoadFontSettings(m_profile, m_logFont);
    m_alarmSettings = LoadAlarmSettings(m_profile);
    m_bAutoRecover = LoadAutoRecover(m_profile);
    AddObserver(m_health);
}

// ---- start-up and shutdown ---------------------------------------------

void CProgram::LoadSettingsAtStartup()
{
    LoadSerialSettingsAtStartup(m_profile, m_serial);
    m_link.m_bPortOpen = false;
}

void CProgram::OpenPortAtStartup()
{
    if (m_link.OpenPort(m_serial) != -1) return;
    auto failure = [this] {
        return Format("Failed:Comm:%d,Baud=%d,Parity=%d,Data=%d,Stop=%d & return=%d", m_serial.m_nPort,
                      m_serial.m_nBaud, m_serial.m_nParity, m_serial.m_nDataBits, m_serial.m_nStopBits, -1);
    };
    m_host.PlaySound(Sound::Hand);
    m_host.MessageBox(Owner::MainWindow, failure(), "Init. Failed", Icon::Error);
    m_link.PurgePort();
    m_link.ClosePort();

    CCommSetupDlg dialog(m_serial, *this);
    const bool ok = m_host.RunDialog(dialog);
    if (!ok) return;
    m_serial = dialog.Result();
    dialog.SaveDevice(m_profile);
    if (m_link.OpenPort(m_serial) == -1) {
        m_host.PlaySound(Sound::Hand);
        m_host.MessageBox(Owner::MainWindow, failure(), "ReInit. Failed", Icon::Error);
    } else {
        SaveSerialSettings(m_profile, m_serial);
        m_host.RedrawViewNow();
    }
}

void CProgram::OnMainWindowClose()
{
    // Sent whether or not the port is open: with no port the user sees the
    // write-failure box, as a farewell that could not be delivered.
    SendCommand("UNSL,XXXX,1");
}

void CProgram::OnDestroyView()
{
    if (m_link.m_bPortOpen) SendCommand("UNSL,XXXX,1");
}

// ---- polling cycle ------------------------------------------------------

void CProgram::InitComm(Owner owner)
{
    if (m_bPortLost && !m_bExplicitReopen) {
        // A reconfiguration while the device is gone: no boxes, one more try.
        if (m_link.ReopenQuietly(m_serial, m_strLostDevice)) EndPortLost();
        return;
    }
    m_link.InitComm(owner, m_serial);
    if (!m_bPortLost) return;
    // The user chose a port: the boxes have told of a failure, and the
    // quiet attempts go on with the chosen device.
    if (m_link.m_bPortOpen) EndPortLost();
    else {
        m_strLostDevice = m_link.PortPath(m_serial.m_nPort);
        m_health.SetDisconnected(m_strLostDevice);
    }
}

void CProgram::SendCommand(std::string_view body)
{
    if (m_bPortLost) {
        m_link.DropCommand(body);
    } else if (m_link.SendCommand(body) == SendResult::HungUp) {
        OnPortLost();
    } else {
        return;
    }
    if (InUserCommand() && !m_bUserFailureShown) {
        m_bUserFailureShown = true;
        m_link.ReportWriteFailure();
    }
}

void CProgram::StartPolling()
{
    // Silence counts from here, except when the recovery itself restarts
    // polling: its repeats are measured from the same silence.
    if (!m_bRecoveryStart) m_health.RestartSilence(m_host.TickCount());
    m_bQueryInProgress = true;
    if (!m_bTimerRunning) {
        m_host.StartPollTimer(kPollPeriodMs);
        m_bTimerRunning = true;
    }
    if (m_bPollingPaused) {
        m_bPollingPaused = false;
        Notify(LinkEvent::PollingResumed);
    }
    SendCommand("PRID");
    SendCommand("PRID");
    SendCommand("GPSE");
    if (m_state.m_bIdentified) SubscribeAll(m_state, *this);
    m_bQueryInProgress = false;
}

void CProgram::StopPolling()
{
    if (m_bTimerRunning) {
        m_host.StopPollTimer();
        m_bTimerRunning = false;
        // A setup command stops polling to reconfigure the unit: a pause of
        // the program's own, not a loss of the link.
        if (InUserCommand() && !m_bPollingPaused) {
            m_bPollingPaused = true;
            Notify(LinkEvent::PollingPaused);
        }
    }
    if (m_link.m_bPortOpen) {
        SendCommand("UNSL,XXXX,1");
        m_link.PurgePort();
    }
}

void CProgram::OnPollTimer()
{
    CProgramOwnScope own(*this);
    std::uint64_t now = m_host.TickCount();
    if (m_bPortLost) {
        // Nothing to read and nobody to wait for: the periods stand still
        // (no silent periods, no baud switch) and the tick only tries the
        // device again every two seconds.
        m_qwTwoSecondDeadline = std::max(m_qwTwoSecondDeadline, now + 2000);
        m_qwFiveSecondDeadline = std::max(m_qwFiveSecondDeadline, now + 5000);
        TryReconnect(now);
        return;
    }
    if (now >= m_qwTwoSecondDeadline) {
        m_qwTwoSecondDeadline = now + 2000;
        if (!m_state.m_bIdentified) {
            if (!m_bMessageWindowSuppressed) m_wndMessage.ShowMessage(kWaitText, kWaitCaption, 2);
            if (m_bCommRecoveryDone) {
                StartPolling();
                m_host.RedrawViewNow();
            }
        } else if (HasCapability(m_state.m_nReportedProductType, kPolledDacAndTime)) {
            SendCommand("DACV");
            SendCommand("TIMM");
        }
    }
    if (m_bPortLost) return;

    now = m_host.TickCount();
    if (now >= m_qwFiveSecondDeadline) {
        m_qwFiveSecondDeadline = now + 5000;
        m_qwTwoSecondDeadline = now + 2000;
        if (!m_state.m_bIdentified) {
            ++m_nSilentPeriods;
            if (m_nSilentPeriods < 2) return;
            // A raw network port has its rate fixed by its server, and a
            // monitor given a rate keeps it: trying another one would only
            // change the settings.
            if (!m_bCommRecoveryDone && m_bAutoBaudSwitch && m_link.CanChangeLineSettings()) BaudSwitch();
        }
    }
    if (m_bPortLost) return;

    std::uint8_t buffer[kReadSize];
    const int count = m_link.ReadAvailable(buffer, sizeof buffer);
    if (count > 0) {
        // One read of the clock serves every sentence of this read.
        m_qwReadTick = m_host.TickCount();
        FeedBytes(buffer, static_cast<std::size_t>(count));
        m_qwReadTick = 0;
    } else if (m_link.LastReadFailed() && m_link.DeviceHungUp()) {
        OnPortLost();
        return;
    }
    CheckSilence();
}

void CProgram::CheckSilence()
{
    if (!m_state.m_bIdentified || !m_link.m_bPortOpen || !m_bTimerRunning || m_bPortLost) return;
    const CSilenceVerdict verdict = m_health.OnSilenceTick(m_host.TickCount(), m_bAutoRecover);
    if (verdict.m_bBecameStale) {
        Notify(LinkEvent::DataStale);
        m_host.InvalidateView(false);
    }
    if (verdict.m_bRecover) {
        // What the serial-port dialog's OK runs after its reopen: a unit that
        // restarted and forgot its subscriptions gets them again.
        Notify(LinkEvent::AutoRecovery);
        m_bAwaitingReidentify = true;
        m_bRecoveryStart = true;
        StartPolling();
        m_bRecoveryStart = false;
    }
}

void CProgram::OnPortLost()
{
    if (m_bPortLost) return;
    m_strLostDevice = m_link.PortPath(m_serial.m_nPort);
    m_bPortLost = true;
    m_link.ClosePort();
    m_health.SetDisconnected(m_strLostDevice);
    m_qwNextReconnect = m_host.TickCount() + kReconnectPeriodMs;
    Notify(LinkEvent::PortLost);
    m_host.InvalidateView(false);
}

void CProgram::EndPortLost()
{
    m_bPortLost = false;
    m_health.ClearDisconnected();
    m_bAwaitingReidentify = true;
    Notify(LinkEvent::PortRestored);
    m_host.InvalidateView(false);
}

void CProgram::TryReconnect(std::uint64_t now)
{
    if (now < m_qwNextReconnect) return;
    m_qwNextReconnect = now + kReconnectPeriodMs;
    if (!m_link.ReopenQuietly(m_serial, m_strLostDevice)) return;
    EndPortLost();
    StartPolling();
}

void CProgram::BaudSwitch()
{
    // Flags first: the box below runs a nested event loop whose poll ticks
    // must neither switch again nor show the wait window.
    m_bCommRecoveryDone = true;
    const int rateInUse = m_serial.m_nBaud;
    LoadSerialSettings(m_profile, m_serial);
    std::string message;
    switch (rateInUse) {
    case 2400:
    case 4800:
    case 9600:
        message = Format("New RS-232 Baud Rate: 19200 was %d", rateInUse);
        m_serial.m_nBaud = 19200;
        break;
    default:
        message = "New RS-232 Baud Rate: 9600 was 19200";
        m_serial.m_nBaud = 9600;
        break;
    }
    SaveSerialSettings(m_profile, m_serial);
    m_bMessageWindowSuppressed = true;
    m_host.PlaySound(Sound::Exclamation);
    m_host.MessageBox(Owner::View, message, "Switch RS-232 Baud Rate!", Icon::Error);
    StopPolling();
    InitComm(Owner::View);
    StartPolling();
    m_host.RedrawViewNow();
}

// ---- receive path -------------------------------------------------------

void CProgram::FeedBytes(const std::uint8_t* data, std::size_t size)
{
    if (!m_observers.empty()) Notify(LinkEvent::BytesReceived, 0, {}, {data, size});
    m_assembler.Feed(data, size, *this);
}

void CProgram::OnSentence(const std::string& body, bool verified)
{
    DispatchSentence(body);
    if (verified) m_state.m_bPageDirty = true;
}

void CProgram::OnChecksumMismatch()
{
    if (!m_observers.empty()) Notify(LinkEvent::ChecksumError);
    m_host.PlaySound(Sound::Hand);
}

void CProgram::DispatchSentence(const std::string& body)
{
    const CDispatchResult result = velmor::DispatchSentence(*this, m_state, body);
    if (m_observers.empty() || result.m_outcome == DispatchOutcome::Empty) return;
    // The keyword as the dispatcher read it: the first token before a blank,
    // comma or asterisk. The CR that follows every checksummed sentence
    // arrives as a body of its own; line ends alone are no unrecognised body.
    std::string_view keyword(body);
    keyword.remove_prefix(std::min(keyword.find_first_not_of(" ,*\r\n"), keyword.size()));
    keyword = keyword.substr(0, keyword.find_first_of(" ,*\r\n"));
    if (keyword.empty()) return;
    // A restart is told before the report that showed it, so that the
    // report is the first of the restarted unit.
    if (result.m_outcome == DispatchOutcome::Handled &&
        m_health.CheckRestart(m_state, result.m_uReported) != CRestartEvidence::Sign::None)
        Notify(LinkEvent::UnitRestarted);
    Notify(result.m_outcome == DispatchOutcome::Handled ? LinkEvent::SentenceHandled : LinkEvent::UnrecognisedBody,
           result.m_uReported, keyword);
    if (m_health.TakeResumed()) {
        Notify(LinkEvent::DataResumed);
        m_host.InvalidateView(false);
    }
}

void CProgram::RequestRedraw()
{
    m_state.m_bPageDirty = true;
    m_host.InvalidateView(false);
}

void CProgram::ShowErrorBox(const std::string& text, const std::string& caption)
{
    m_host.PlaySound(Sound::Hand);
    m_host.MessageBox(Owner::View, text, caption, Icon::Error);
}

void CProgram::OnUnitIdentified()
{
    if (m_bAwaitingReidentify) {
        m_bAwaitingReidentify = false;
        // Only an answer: whether the unit restarted, its next reports show.
        Notify(LinkEvent::UnitReidentified);
    }
    if (m_bCommRecoveryDone) {
        // The rate the baud switch found is the one the unit answered at.
        SaveSerialSettings(m_profile, m_serial);
        m_bCommRecoveryDone = false;
    }
}

void CProgram::RestartLink()
{
    StopPolling();
    InitComm(Owner::View);
    StartPolling();
}

// ---- observers ------------------------------------------------------------

void CProgram::AddObserver(IUnitObserver& observer)
{
    if (std::find(m_observers.begin(), m_observers.end(), &observer) == m_observers.end())
        m_observers.push_back(&observer);
}

void CProgram::RemoveObserver(IUnitObserver& observer)
{
    auto found = std::find(m_observers.begin(), m_observers.end(), &observer);
    if (found == m_observers.end()) return;
    // While observers are being told, the slot is only emptied; the list
    // shrinks once the outermost notification is over.
    if (m_nNotifyDepth > 0) *found = nullptr;
    else m_observers.erase(found);
}

void CProgram::OnLinkEvent(LinkEvent event, std::span<const std::uint8_t> bytes)
{
    if (!m_observers.empty()) Notify(event, 0, {}, bytes);
}

void CProgram::Notify(LinkEvent event, std::uint32_t reported, std::string_view keyword,
                      std::span<const std::uint8_t> bytes)
{
    const std::uint64_t tick = m_qwReadTick != 0 ? m_qwReadTick : m_host.TickCount();
    const CObservation observation{event, reported, keyword, bytes, m_state, tick};
    // An observer may add or remove observers, or open a modal box whose
    // nested ticks notify again; indices stay valid because removal during
    // a notification only empties the slot.
    ++m_nNotifyDepth;
    for (std::size_t i = 0; i < m_observers.size(); ++i)
        if (IUnitObserver* observer = m_observers[i]) observer->OnObservation(observation);
    if (--m_nNotifyDepth == 0)
        m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), nullptr), m_observers.end());
}

// ---- the view -----------------------------------------------------------

void CProgram::OnModalClosed()
{
    // Only the drawing decision's restart needs this paint. While polling
    // runs, the next data repaints as before, and no drawing (with the
    // queries some pages send) is brought forward; while another modal
    // window or the menu command is still under way, their own end comes.
    if (!m_link.m_bPortOpen || m_bTimerRunning) return;
    if (m_nMenuCommandDepth > 0 || m_host.IsModalWindowOpen()) return;
    m_host.InvalidateView(false);
}

bool CProgram::OnPollingWatchdog()
{
    if (!m_link.m_bPortOpen || m_bTimerRunning || m_bQueryInProgress || m_bPortLost) return false;
    if (m_nMenuCommandDepth > 0 || m_host.IsModalWindowOpen()) return false;
    CProgramOwnScope own(*this);
    StartPolling();
    return true;
}

bool CProgram::OnPaint(std::string& page)
{
    CProgramOwnScope own(*this);
    // A paint under a modal window that holds polling stopped (a setup
    // dialog, or a box over it) neither restarts polling nor builds the page,
    // which may query the unit: the view shows its last page, and the
    // window's close brings the paint that decides.
    if (m_link.m_bPortOpen && !m_bTimerRunning && m_host.IsModalWindowOpen()) return false;
    if (m_link.m_bPortOpen && !m_bTimerRunning && !m_bQueryInProgress) {
        StartPolling();
        return false;
    }
    if (!m_state.m_bPageDirty && m_bTimerRunning) return false;
    SendDrawingCommands(m_state, *this);
    page = BuildStatusPage(m_state);
    m_state.m_bPageDirty = false;
    return true;
}

bool CProgram::IsCommandEnabled(int commandId) const { return IsMenuCommandEnabled(commandId, m_state); }

void CProgram::OnCommand(int commandId)
{
    if (m_nUserCommandDepth++ == 0) m_bUserFailureShown = false;
    ++m_nMenuCommandDepth;
    struct CLeave {
        int& m_nDepth;
        int& m_nMenuDepth;
        ~CLeave()
        {
            --m_nDepth;
            --m_nMenuDepth;
        }
    } leave{m_nUserCommandDepth, m_nMenuCommandDepth};
    switch (commandId) {
    case ID_COM_SETUP: OnComSetup(); break;
    case ID_VIEW_FONTS: ChooseDisplayFont(); break;
    case ID_SETUP_ANTENNA_DELAY: OnSetupAntennaDelay(*this); break;
    case ID_SETUP_ANTENNA_POSITION: OnSetupAntennaPosition(*this); break;
    case ID_SETUP_BEEP: OnSetupBeep(*this); break;
    case ID_SETUP_DAC_VALUE: OnSetupDacValue(*this); break;
    case ID_SETUP_EVENT_TRIGGER: OnSetupEventTrigger(*this); break;
    case ID_SETUP_PRESET1: OnSetupPreset1(*this); break;
    case ID_SETUP_PRESET2: OnSetupPreset2(*this); break;
    case ID_SETUP_MODE: OnSetupMode(*this); break;
    case ID_SETUP_MASK_ANGLE: OnSetupMaskAngle(*this); break;
    case ID_SETUP_RATE_OUTPUT: OnSetupRateOutput(*this); break;
    case ID_SETUP_REF_PULSE: OnSetupRefPulse(*this); break;
    case ID_SETUP_TIME_TAG: OnSetupTimeTag(*this); break;
    case ID_SETUP_TOD_TYPE: OnSetupTodType(*this); break;
    case ID_SETUP_QUICK_START: OnSetupQuickStart(*this); break;
    case ID_VIEW_ALARM_SETTINGS: OnViewAlarmSettings(*this); break;
    case ID_APP_ABOUT: OnAppAbout(*this); break;
    // Exit, New, Capture Traffic, Events, Copy Page and Link Health belong
    // to the window.
    default: break;
    }
}

void CProgram::ChooseDisplayFont()
{
    CLogFont chosen = m_logFont;
    if (m_host.ChooseFont(chosen)) {
        m_logFont = chosen;
        SaveFontSettings(m_profile, m_logFont);
    }
    m_host.InvalidateView(true);
}

void CProgram::OnComSetup()
{
    CCommSetupDlg dialog(m_serial, *this);
    const bool ok = m_host.RunDialog(dialog);
    if (ok) {
        const int rateBefore = m_serial.m_nBaud;
        m_serial = dialog.Result();
        SaveSerialSettings(m_profile, m_serial);
        dialog.SaveDevice(m_profile);
        m_bExplicitReopen = true;
        InitComm(Owner::View);
        m_bExplicitReopen = false;
        if (m_link.m_bPortOpen && !m_link.CanChangeLineSettings() && m_serial.m_nBaud != rateBefore)
            m_host.MessageBox(Owner::View,
                              Format("The line rate of %s is set by its server; %d baud is stored but not applied.",
                                     m_link.PortPath(m_serial.m_nPort).c_str(), m_serial.m_nBaud),
                              "Velmor", Icon::Info);
        StartPolling();
    }
    m_host.InvalidateView(false);
}

}  // namespace velmor
