#include "session/Session.h"

#include <algorithm>

#include "protocol/Dispatcher.h"
#include "protocol/Handlers.h"
#include "protocol/Subscriptions.h"
#include "readings/Decode.h"
#include "settings/RecoverySettings.h"
#include "settings/SerialProfile.h"
#include "text/Text.h"

namespace velmor {

// Ticks and page refreshes run inside a menu command's modal dialog too; what
// they send is the session's own doing, not the user's command.
class CSessionOwnScope {
public:
    explicit CSessionOwnScope(CSession& session) : m_session(session), m_nSaved(session.m_nUserCommandDepth)
    {
        m_session.m_nUserCommandDepth = 0;
    }
    ~CSessionOwnScope() { m_session.m_nUserCommandDepth = m_nSaved; }
    CSessionOwnScope(const CSessionOwnScope&) = delete;
    CSessionOwnScope& operator=(const CSessionOwnScope&) = delete;

private:
    CSession& m_session;
    int m_nSaved;
};

CSession::CUserCommand::CUserCommand(CSession& session) : m_session(session)
{
    if (m_session.m_nUserCommandDepth++ == 0) m_session.m_bUserFailureShown = false;
    ++m_session.m_nMenuCommandDepth;
}

CSession::CUserCommand::~CUserCommand()
{
    --m_session.m_nUserCommandDepth;
    --m_session.m_nMenuCommandDepth;
}

namespace {
const char* const kWaitText = "Communicate With Unit, Wait...";
const char* const kWaitCaption = "RS-232 Message Window";
}  // namespace

CSession::CSession(ISessionEvents& events, SerialDevice& device, CProfile& profile)
    : m_events(events), m_profile(profile), m_link(events, device, m_state.m_nReportedProductType),
      m_wndMessage(events)
{
    // The periods are measured from the moment the session is made, not
    // from the opening of the port.
    const std::uint64_t now = m_events.TickCount();
    m_qwTwoSecondDeadline = now + 2000;
    m_qwFiveSecondDeadline = now + 5000;
    m_link.SetPortPathResolver([this](int port) { return PortDevicePath(m_profile, port); });
    m_link.SetEventListener(this);
    m_bAutoRecover = LoadAutoRecover(m_profile);
    AddObserver(m_health);
}

// ---- open and close -------------------------------------------------------

void CSession::LoadSettings()
{
    LoadSerialSettingsAtStartup(m_profile, m_serial);
    m_link.m_bPortOpen = false;
}

bool CSession::Open() { return m_link.OpenPort(m_serial) != -1; }

std::string CSession::OpenFailureText() const
{
    return Format("Failed:Comm:%d,Baud=%d,Parity=%d,Data=%d,Stop=%d & return=%d", m_serial.m_nPort, m_serial.m_nBaud,
                  m_serial.m_nParity, m_serial.m_nDataBits, m_serial.m_nStopBits, -1);
}

void CSession::Close()
{
    m_link.PurgePort();
    m_link.ClosePort();
}

void CSession::SayFarewell()
{
    if (m_link.m_bPortOpen) SendCommand("UNSL,XXXX,1");
}

void CSession::InitComm(Owner owner, bool explicitReopen)
{
    if (m_bPortLost && !explicitReopen) {
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

void CSession::SendCommand(std::string_view body)
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

// ---- polling ----------------------------------------------------------------

void CSession::StartPolling()
{
    // Silence counts from here, except when the recovery itself restarts
    // polling: its repeats are measured from the same silence.
    if (!m_bRecoveryStart) m_health.RestartSilence(m_events.TickCount());
    m_bQueryInProgress = true;
    if (!m_bTimerRunning) {
        m_events.StartPollTimer(kPollPeriodMs);
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

void CSession::StopPolling()
{
    if (m_bTimerRunning) {
        m_events.StopPollTimer();
        m_bTimerRunning = false;
        // A setup command stops polling to reconfigure the unit: a pause of
        // the session's own, not a loss of the link.
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

void CSession::OnPollTimer()
{
    CSessionOwnScope own(*this);
    std::uint64_t now = m_events.TickCount();
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
                m_events.RedrawViewNow();
            }
        } else if (HasCapability(m_state.m_nReportedProductType, kPolledDacAndTime)) {
            SendCommand("DACV");
            SendCommand("TIMM");
        }
    }
    if (m_bPortLost) return;

    now = m_events.TickCount();
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
        m_qwReadTick = m_events.TickCount();
        FeedBytes(buffer, static_cast<std::size_t>(count));
        m_qwReadTick = 0;
    } else if (m_link.LastReadFailed() && m_link.DeviceHungUp()) {
        OnPortLost();
        return;
    }
    CheckSilence();
}

void CSession::Tick()
{
    if (m_bTimerRunning) OnPollTimer();
    RunRecoveryOptions();
}

void CSession::RunRecoveryOptions()
{
    const auto period = static_cast<std::uint64_t>(m_recovery.m_nPeriodMs);
    if (m_recovery.m_bReopenFailedOpen && !m_link.m_bPortOpen && !m_bPortLost) {
        const std::uint64_t now = m_events.TickCount();
        if (m_qwNextReopen == 0) m_qwNextReopen = now + period;
        if (now >= m_qwNextReopen) {
            // Where the desktop would ask for another port, keep trying the
            // one given.
            m_qwNextReopen = now + period;
            InitComm(Owner::View);
            if (m_link.m_bPortOpen) StartPolling();
        }
    }
    if (m_recovery.m_bReidentifyAtFixedRate && m_link.m_bPortOpen && !m_state.m_bIdentified && !m_bAutoBaudSwitch) {
        const std::uint64_t now = m_events.TickCount();
        if (m_qwNextReidentify == 0) m_qwNextReidentify = now + period;
        if (now >= m_qwNextReidentify) {
            m_qwNextReidentify = now + period;
            StartPolling();
        }
    }
}

void CSession::CheckSilence()
{
    if (!m_state.m_bIdentified || !m_link.m_bPortOpen || !m_bTimerRunning || m_bPortLost) return;
    const CSilenceVerdict verdict = m_health.OnSilenceTick(m_events.TickCount(), m_bAutoRecover);
    if (verdict.m_bBecameStale) {
        Notify(LinkEvent::DataStale);
        m_events.InvalidateView(false);
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

void CSession::OnPortLost()
{
    if (m_bPortLost) return;
    m_strLostDevice = m_link.PortPath(m_serial.m_nPort);
    m_bPortLost = true;
    m_link.ClosePort();
    m_health.SetDisconnected(m_strLostDevice);
    m_qwNextReconnect = m_events.TickCount() + kReconnectPeriodMs;
    Notify(LinkEvent::PortLost);
    m_events.InvalidateView(false);
}

void CSession::EndPortLost()
{
    m_bPortLost = false;
    m_health.ClearDisconnected();
    m_bAwaitingReidentify = true;
    Notify(LinkEvent::PortRestored);
    m_events.InvalidateView(false);
}

void CSession::TryReconnect(std::uint64_t now)
{
    if (now < m_qwNextReconnect) return;
    m_qwNextReconnect = now + kReconnectPeriodMs;
    if (!m_link.ReopenQuietly(m_serial, m_strLostDevice)) return;
    EndPortLost();
    StartPolling();
}

void CSession::BaudSwitch()
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
    m_events.PlaySound(Sound::Exclamation);
    m_events.MessageBox(Owner::View, message, "Switch RS-232 Baud Rate!", Icon::Error);
    StopPolling();
    InitComm(Owner::View);
    StartPolling();
    m_events.RedrawViewNow();
}

// ---- modal windows and the polling watchdog ------------------------------------

void CSession::OnModalClosed()
{
    // Only the drawing decision's restart needs this paint. While polling
    // runs, the next data repaints as before, and no drawing (with the
    // queries some pages send) is brought forward; while another modal
    // window or the menu command is still under way, their own end comes.
    if (!m_link.m_bPortOpen || m_bTimerRunning) return;
    if (m_nMenuCommandDepth > 0 || m_events.IsModalWindowOpen()) return;
    m_events.InvalidateView(false);
}

bool CSession::OnPollingWatchdog()
{
    if (!m_link.m_bPortOpen || m_bTimerRunning || m_bQueryInProgress || m_bPortLost) return false;
    if (m_nMenuCommandDepth > 0 || m_events.IsModalWindowOpen()) return false;
    CSessionOwnScope own(*this);
    StartPolling();
    return true;
}

// ---- the page-refresh step ----------------------------------------------------

bool CSession::OnPageRefresh()
{
    CSessionOwnScope own(*this);
    // A refresh under a modal window that holds polling stopped (a setup
    // dialog, or a box over it) neither restarts polling nor builds the page,
    // which may query the unit: the view shows its last page, and the
    // window's close brings the paint that decides.
    if (m_link.m_bPortOpen && !m_bTimerRunning && m_events.IsModalWindowOpen()) return false;
    if (m_link.m_bPortOpen && !m_bTimerRunning && !m_bQueryInProgress) {
        StartPolling();
        return false;
    }
    if (!m_state.m_bPageDirty && m_bTimerRunning) return false;
    SendDrawingCommands(m_state, *this);
    m_state.m_bPageDirty = false;
    return true;
}

// ---- receive path ---------------------------------------------------------------

void CSession::FeedBytes(const std::uint8_t* data, std::size_t size)
{
    if (!m_observers.empty()) Notify(LinkEvent::BytesReceived, 0, {}, {data, size});
    m_assembler.Feed(data, size, *this);
}

void CSession::OnSentence(const std::string& body, bool verified)
{
    DispatchSentence(body);
    if (verified) m_state.m_bPageDirty = true;
}

void CSession::OnChecksumMismatch()
{
    if (!m_observers.empty()) Notify(LinkEvent::ChecksumError);
    m_events.PlaySound(Sound::Hand);
}

void CSession::DispatchSentence(const std::string& body)
{
    const CDispatchResult result = velmor::DispatchSentence(*this, m_state, body);
    if (result.m_outcome == DispatchOutcome::Empty) return;
    // The keyword as the dispatcher read it: the first token before a blank,
    // comma or asterisk. The CR that follows every checksummed sentence
    // arrives as a body of its own; line ends alone are no unrecognised body.
    std::string_view keyword(body);
    keyword.remove_prefix(std::min(keyword.find_first_not_of(" ,*\r\n"), keyword.size()));
    keyword = keyword.substr(0, keyword.find_first_of(" ,*\r\n"));
    if (keyword.empty()) return;
    const std::uint64_t tick = m_qwReadTick != 0 ? m_qwReadTick : m_events.TickCount();
    if (result.m_outcome == DispatchOutcome::Handled)
        UpdateReadings(m_readings, m_state, result.m_uReported, keyword, tick);
    if (m_observers.empty()) return;
    // Outside a poll's read (a sentence fed directly) the clock is read once
    // for the sentence and its observations too.
    const bool ownTick = m_qwReadTick == 0;
    if (ownTick) m_qwReadTick = tick;
    // A restart is told before the report that showed it, so that the
    // report is the first of the restarted unit.
    if (result.m_outcome == DispatchOutcome::Handled &&
        m_health.CheckRestart(m_readings) != CRestartEvidence::Sign::None)
        Notify(LinkEvent::UnitRestarted);
    Notify(result.m_outcome == DispatchOutcome::Handled ? LinkEvent::SentenceHandled : LinkEvent::UnrecognisedBody,
           result.m_uReported, keyword);
    if (ownTick) m_qwReadTick = 0;
    if (m_health.TakeResumed()) {
        Notify(LinkEvent::DataResumed);
        m_events.InvalidateView(false);
    }
}

void CSession::RequestRedraw()
{
    m_state.m_bPageDirty = true;
    m_events.InvalidateView(false);
}

void CSession::ShowErrorBox(const std::string& text, const std::string& caption)
{
    m_events.PlaySound(Sound::Hand);
    m_events.MessageBox(Owner::View, text, caption, Icon::Error);
}

void CSession::OnUnitIdentified()
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

void CSession::RestartLink()
{
    StopPolling();
    InitComm(Owner::View);
    StartPolling();
}

void CSession::ForgetReportedProductType() { m_state.m_nReportedProductType = PT_UNIDENTIFIED; }

// ---- observers ------------------------------------------------------------------

void CSession::AddObserver(IUnitObserver& observer)
{
    if (std::find(m_observers.begin(), m_observers.end(), &observer) == m_observers.end())
        m_observers.push_back(&observer);
}

void CSession::RemoveObserver(IUnitObserver& observer)
{
    auto found = std::find(m_observers.begin(), m_observers.end(), &observer);
    if (found == m_observers.end()) return;
    // While observers are being told, the slot is only emptied; the list
    // shrinks once the outermost notification is over.
    if (m_nNotifyDepth > 0) *found = nullptr;
    else m_observers.erase(found);
}

void CSession::OnLinkEvent(LinkEvent event, std::span<const std::uint8_t> bytes)
{
    if (!m_observers.empty()) Notify(event, 0, {}, bytes);
}

void CSession::Notify(LinkEvent event, std::uint32_t reported, std::string_view keyword,
                      std::span<const std::uint8_t> bytes)
{
    const std::uint64_t tick = m_qwReadTick != 0 ? m_qwReadTick : m_events.TickCount();
    const CObservation observation{event, reported, keyword, bytes, m_state, m_readings, tick};
    // An observer may add or remove observers, or open a modal box whose
    // nested ticks notify again; indices stay valid because removal during
    // a notification only empties the slot.
    ++m_nNotifyDepth;
    for (std::size_t i = 0; i < m_observers.size(); ++i)
        if (IUnitObserver* observer = m_observers[i]) observer->OnObservation(observation);
    if (--m_nNotifyDepth == 0)
        m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), nullptr), m_observers.end());
}

}  // namespace velmor
