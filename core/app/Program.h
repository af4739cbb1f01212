#pragma once
// The desktop shell around one session: the start-up and shutdown of the
// desktop program, the menu and its commands, the display font and the alarm
// settings. Everything about the unit and its line lives in the session
// (core/session); the view (Qt or the replay tool) owns the program and
// routes paint, timer and menu commands into it.

#include <functional>
#include <string>
#include <vector>

#include "alarms/AlarmSettings.h"
#include "config/ConfigContext.h"
#include "platform/Host.h"
#include "platform/SerialDevice.h"
#include "config/CommSetupDlg.h"
#include "platform/SerialPorts.h"
#include "session/Session.h"
#include "settings/FontSettings.h"
#include "settings/Profile.h"

namespace velmor {

class CProgram : public IConfigContext {
public:
    CProgram(Host& host, SerialDevice& device, CProfile& profile);
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    // The one unit this program watches.
    CSession& Session() { return m_session; }
    const CSession& Session() const { return m_session; }

    // ---- start-up and shutdown -------------------------------------------
    // Reads the serial settings (before the main window exists).
    void LoadSettingsAtStartup() { m_session.LoadSettings(); }
    // Opens the port after the main window is shown; on failure runs the
    // "Init. Failed" path with the serial-port dialog.
    void OpenPortAtStartup();
    // The main window closes: the farewell command.
    void OnMainWindowClose();
    // The view is destroyed.
    void OnDestroyView() { m_session.SayFarewell(); }

    // ---- the view --------------------------------------------------------
    // The poll timer's tick.
    void OnPollTimer() { m_session.OnPollTimer(); }
    // A modal window closed, and the once-a-second safety net (see CSession).
    void OnModalClosed() { m_session.OnModalClosed(); }
    bool OnPollingWatchdog() { return m_session.OnPollingWatchdog(); }
    static constexpr int kWatchdogPeriodMs = CSession::kWatchdogPeriodMs;
    // The paint decision: the session's page-refresh step, then the page.
    // Returns true and the page text in |page| when the page is to be drawn
    // this time.
    bool OnPaint(std::string& page);
    // Menu commands and their enabling rules.
    bool IsCommandEnabled(int commandId) const;
    void OnCommand(int commandId);
    void ChooseDisplayFont();
    // The serial-port command (also run by the presets).
    void OnComSetup() override;

    const CLogFont& LogFont() const { return m_logFont; }
    // The alarms' limits and choices (section "Alarms"); the alarm monitor
    // of whoever watches reads them.
    const CAlarmSettings& Alarms() const { return m_alarmSettings; }
    // The serial devices the port dialog offers; replaceable so that
    // sessions and tests do not depend on the machine's hardware.
    void SetDeviceLister(std::function<std::vector<CSerialPortInfo>()> lister) { m_deviceLister = std::move(lister); }

private:
    // ---- the setup commands' context ---------------------------------------
    const CUnitState& State() const override { return m_session.State(); }
    ISessionEvents& Events() override { return m_host; }
    CMessageWindow& MessageWindow() override { return m_session.MessageWindow(); }
    void SendCommand(std::string_view body) override { m_session.SendCommand(body); }
    bool IsPolling() const override { return m_session.IsPolling(); }
    bool IsPortOpen() const override { return m_session.IsPortOpen(); }
    void StopPolling() override { m_session.StopPolling(); }
    void StartPolling() override { m_session.StartPolling(); }
    void InitComm() override { m_session.InitComm(); }
    void ReopenAndPoll() override { m_session.ReopenAndPoll(); }
    CProfile& Profile() override { return m_profile; }
    CAlarmSettings& AlarmSettings() override { return m_alarmSettings; }
    void MarkColdStartPending() override { m_session.MarkColdStartPending(); }
    void NoteSubscribedPositionMode(char mode) override { m_session.NoteSubscribedPositionMode(mode); }
    void NoteAntennaDelay(const std::string& text) override { m_session.NoteAntennaDelay(text); }
    void NoteMaskAngle(int angle) override { m_session.NoteMaskAngle(angle); }
    void NoteTodRate(int rate) override { m_session.NoteTodRate(rate); }
    void ForgetReportedProductType() override { m_session.ForgetReportedProductType(); }
    void SetAboutDlg(IAboutDlg* dialog) override { m_session.SetAboutDlg(dialog); }
    IAboutDlg* AboutDlg() override { return m_session.AboutDlg(); }
    void SetEventTriggerDlg(IEventTriggerDlg* dialog) override { m_session.SetEventTriggerDlg(dialog); }
    IEventTriggerDlg* EventTriggerDlg() override { return m_session.EventTriggerDlg(); }
    void SetRateOutputDlg(IRateOutputDlg* dialog) override { m_session.SetRateOutputDlg(dialog); }
    IRateOutputDlg* RateOutputDlg() override { return m_session.RateOutputDlg(); }
    void SetTimeTagDlg(ITimeTagDlg* dialog) override { m_session.SetTimeTagDlg(dialog); }
    ITimeTagDlg* TimeTagDlg() override { return m_session.TimeTagDlg(); }

    // The serial-port dialog's view of the port mapping, the devices and
    // the last opening failure.
    CDeviceChoice DeviceChoice() const;

    Host& m_host;
    CProfile& m_profile;
    CSession m_session;
    CLogFont m_logFont;
    CAlarmSettings m_alarmSettings;
    std::function<std::vector<CSerialPortInfo>()> m_deviceLister = EnumerateSerialPorts;
};

}  // namespace velmor
