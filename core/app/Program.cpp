#include "app/Program.h"

#include "app/Menu.h"
#include "config/CommSetupDlg.h"
#include "config/SetupCommands.h"
#include "protocol/Dispatcher.h"
#include "protocol/Handlers.h"
#include "settings/SerialProfile.h"
#include "text/Text.h"

namespace velmor {

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
    LoadFontSettings(m_profile, m_logFont);
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

    CCommSetupDlg dialog(m_serial);
    const bool ok = m_host.RunDialog(dialog);
    if (!ok) return;
    m_serial.m_nPort = dialog.m_nPort;
    m_serial.m_nBaud = dialog.m_nBaud;
    m_serial.m_nParity = dialog.m_nParity;
    m_serial.m_nDataBits = dialog.m_nDataBits;
    m_serial.m_nStopBits = dialog.m_nStopBits;
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

void CProgram::StartPolling()
{
    m_bQueryInProgress = true;
    if (!m_bTimerRunning) {
        m_host.StartPollTimer(kPollPeriodMs);
        m_bTimerRunning = true;
    }
    SendCommand("PRID");
    SendCommand("PRID");
    SendCommand("GPSE");
    if (m_state.m_bIdentified) SubscribeAll(*this);
    m_bQueryInProgress = false;
}

void CProgram::StopPolling()
{
    if (m_bTimerRunning) {
        m_host.StopPollTimer();
        m_bTimerRunning = false;
    }
    if (m_link.m_bPortOpen) {
        SendCommand("UNSL,XXXX,1");
        m_link.PurgePort();
    }
}

void CProgram::OnPollTimer()
{
    std::uint64_t now = m_host.TickCount();
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

    now = m_host.TickCount();
    if (now >= m_qwFiveSecondDeadline) {
        m_qwFiveSecondDeadline = now + 5000;
        m_qwTwoSecondDeadline = now + 2000;
        if (!m_state.m_bIdentified) {
            ++m_nSilentPeriods;
            if (m_nSilentPeriods < 2) return;
            if (!m_bCommRecoveryDone) BaudSwitch();
        }
    }

    std::uint8_t buffer[kReadSize];
    const int count = m_link.ReadAvailable(buffer, sizeof buffer);
    if (count <= 0) return;
    FeedBytes(buffer, static_cast<std::size_t>(count));
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

void CProgram::FeedBytes(const std::uint8_t* data, std::size_t size) { m_assembler.Feed(data, size, *this); }

void CProgram::OnSentence(const std::string& body, bool verified)
{
    DispatchSentence(body);
    if (verified) m_state.m_bPageDirty = true;
}

void CProgram::OnChecksumMismatch() { m_host.PlaySound(Sound::Hand); }

void CProgram::DispatchSentence(const std::string& body) { velmor::DispatchSentence(*this, body); }

void CProgram::RequestRedraw()
{
    m_state.m_bPageDirty = true;
    m_host.InvalidateView(false);
}

// ---- the view -----------------------------------------------------------

bool CProgram::OnPaint(std::string& page)
{
    if (m_link.m_bPortOpen && !m_bTimerRunning && !m_bQueryInProgress) {
        StartPolling();
        return false;
    }
    if (!m_state.m_bPageDirty && m_bTimerRunning) return false;
    page = BuildStatusPage(m_state, *this);
    m_state.m_bPageDirty = false;
    return true;
}

bool CProgram::IsCommandEnabled(int commandId) const { return IsMenuCommandEnabled(commandId, m_state); }

void CProgram::OnCommand(int commandId)
{
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
    case ID_APP_ABOUT: OnAppAbout(*this); break;
    default: break;  // Exit and New belong to the window, not to the core
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
    CCommSetupDlg dialog(m_serial);
    const bool ok = m_host.RunDialog(dialog);
    if (ok) {
        m_serial.m_nPort = dialog.m_nPort;
        m_serial.m_nBaud = dialog.m_nBaud;
        m_serial.m_nParity = dialog.m_nParity;
        m_serial.m_nDataBits = dialog.m_nDataBits;
        m_serial.m_nStopBits = dialog.m_nStopBits;
        SaveSerialSettings(m_profile, m_serial);
        InitComm(Owner::View);
        StartPolling();
    }
    m_host.InvalidateView(false);
}

}  // namespace velmor
