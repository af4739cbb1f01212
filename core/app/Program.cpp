#include "app/Program.h"

#include "app/Menu.h"
#include "config/CommSetupDlg.h"
#include "config/SetupCommands.h"
#include "display/StatusPage.h"
#include "settings/SerialProfile.h"
#include "text/Text.h"

namespace velmor {

CProgram::CProgram(Host& host, SerialDevice& device, CProfile& profile)
    : m_host(host), m_profile(profile), m_session(host, device, profile)
{
    LoadFontSettings(m_profile, m_logFont);
    m_alarmSettings = LoadAlarmSettings(m_profile);
}

CDeviceChoice CProgram::DeviceChoice() const
{
    return CDeviceChoice{[&profile = m_profile](int port) { return PortDevicePath(profile, port); },
                         m_deviceLister ? m_deviceLister() : std::vector<CSerialPortInfo>{},
                         m_session.LastOpenError()};
}

// ---- start-up and shutdown ---------------------------------------------

void CProgram::OpenPortAtStartup()
{
    if (m_session.Open()) return;
    m_host.PlaySound(Sound::Hand);
    m_host.MessageBox(Owner::MainWindow, m_session.OpenFailureText(), "Init. Failed", Icon::Error);
    m_session.Close();

    CCommSetupDlg dialog(m_session.Serial(), DeviceChoice());
    const bool ok = m_host.RunDialog(dialog);
    if (!ok) return;
    m_session.SetSerial(dialog.Result());
    dialog.SaveDevice(m_profile);
    if (!m_session.Open()) {
        m_host.PlaySound(Sound::Hand);
        m_host.MessageBox(Owner::MainWindow, m_session.OpenFailureText(), "ReInit. Failed", Icon::Error);
    } else {
        SaveSerialSettings(m_profile, m_session.Serial());
        m_host.RedrawViewNow();
    }
}

void CProgram::OnMainWindowClose()
{
    // Sent whether or not the port is open: with no port the user sees the
    // write-failure box, as a farewell that could not be delivered.
    m_session.SendCommand("UNSL,XXXX,1");
}

// ---- the view -----------------------------------------------------------

bool CProgram::OnPaint(std::string& page)
{
    if (!m_session.OnPageRefresh()) return false;
    page = BuildStatusPage(m_session.State());
    return true;
}

bool CProgram::IsCommandEnabled(int commandId) const { return IsMenuCommandEnabled(commandId, m_session.State()); }

void CProgram::OnCommand(int commandId)
{
    CSession::CUserCommand user(m_session);
    IConfigContext& context = *this;
    switch (commandId) {
    case ID_COM_SETUP: OnComSetup(); break;
    case ID_VIEW_FONTS: ChooseDisplayFont(); break;
    case ID_SETUP_ANTENNA_DELAY: OnSetupAntennaDelay(context); break;
    case ID_SETUP_ANTENNA_POSITION: OnSetupAntennaPosition(context); break;
    case ID_SETUP_BEEP: OnSetupBeep(context); break;
    case ID_SETUP_DAC_VALUE: OnSetupDacValue(context); break;
    case ID_SETUP_EVENT_TRIGGER: OnSetupEventTrigger(context); break;
    case ID_SETUP_PRESET1: OnSetupPreset1(context); break;
    case ID_SETUP_PRESET2: OnSetupPreset2(context); break;
    case ID_SETUP_MODE: OnSetupMode(context); break;
    case ID_SETUP_MASK_ANGLE: OnSetupMaskAngle(context); break;
    case ID_SETUP_RATE_OUTPUT: OnSetupRateOutput(context); break;
    case ID_SETUP_REF_PULSE: OnSetupRefPulse(context); break;
    case ID_SETUP_TIME_TAG: OnSetupTimeTag(context); break;
    case ID_SETUP_TOD_TYPE: OnSetupTodType(context); break;
    case ID_SETUP_QUICK_START: OnSetupQuickStart(context); break;
    case ID_VIEW_ALARM_SETTINGS: OnViewAlarmSettings(context); break;
    case ID_APP_ABOUT: OnAppAbout(context); break;
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
    CCommSetupDlg dialog(m_session.Serial(), DeviceChoice());
    const bool ok = m_host.RunDialog(dialog);
    if (ok) {
        const int rateBefore = m_session.Serial().m_nBaud;
        m_session.SetSerial(dialog.Result());
        SaveSerialSettings(m_profile, m_session.Serial());
        dialog.SaveDevice(m_profile);
        m_session.InitComm(Owner::View, true);
        const int rate = m_session.Serial().m_nBaud;
        if (m_session.IsPortOpen() && !m_session.CanChangeLineSettings() && rate != rateBefore)
            m_host.MessageBox(Owner::View,
                              Format("The line rate of %s is set by its server; %d baud is stored but not applied.",
                                     m_session.PortPath().c_str(), rate),
                              "Velmor", Icon::Info);
        m_session.StartPolling();
    }
    m_host.InvalidateView(false);
}

}  // namespace velmor
