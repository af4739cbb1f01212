#pragma once
// What a setup command and its dialog may use: the unit state to read, the
// line to send on, the front end to run dialogs and boxes, polling to stop
// and resume, and the settings. Never the whole program: core/config knows
// nothing of core/app, which implements this for its one session.

#include <string>
#include <string_view>

#include "alarms/AlarmSettings.h"
#include "display/MessageWindow.h"
#include "platform/Host.h"
#include "protocol/DialogInterfaces.h"
#include "protocol/ReplyHost.h"
#include "protocol/UnitState.h"
#include "settings/Profile.h"

namespace velmor {

class IConfigContext : public ICommandSender {
public:
    // The unit state as the replies left it.
    virtual const CUnitState& State() const = 0;
    // Boxes, sounds, dialogs and redraws.
    virtual ISessionEvents& Events() = 0;
    // The self-closing notice window.
    virtual CMessageWindow& MessageWindow() = 0;

    // ---- polling and the port ----------------------------------------------
    virtual bool IsPolling() const = 0;
    virtual bool IsPortOpen() const = 0;
    virtual void StopPolling() = 0;
    virtual void StartPolling() = 0;
    // Close and reopen the port with its boxes.
    virtual void InitComm() = 0;
    // Reopen the port, then poll and identify again.
    virtual void ReopenAndPoll() = 0;
    // The serial-port command (the presets run it).
    virtual void OnComSetup() = 0;

    // ---- the settings ---------------------------------------------------------
    virtual CProfile& Profile() = 0;
    virtual CAlarmSettings& AlarmSettings() = 0;

    // ---- what a command records of what it sent ----------------------------
    // Before the cold-start body goes out; the send clears it.
    virtual void MarkColdStartPending() = 0;
    virtual void NoteSubscribedPositionMode(char mode) = 0;
    virtual void NoteAntennaDelay(const std::string& text) = 0;
    virtual void NoteMaskAngle(int angle) = 0;
    virtual void NoteTodRate(int rate) = 0;
    // The About box asks the unit again: its answer decides the type anew.
    virtual void ForgetReportedProductType() = 0;

    // ---- the live dialogs register while they are open (null closes) -------
    virtual void SetAboutDlg(IAboutDlg* dialog) = 0;
    virtual IAboutDlg* AboutDlg() = 0;
    virtual void SetEventTriggerDlg(IEventTriggerDlg* dialog) = 0;
    virtual IEventTriggerDlg* EventTriggerDlg() = 0;
    virtual void SetRateOutputDlg(IRateOutputDlg* dialog) = 0;
    virtual IRateOutputDlg* RateOutputDlg() = 0;
    virtual void SetTimeTagDlg(ITimeTagDlg* dialog) = 0;
    virtual ITimeTagDlg* TimeTagDlg() = 0;
};

}  // namespace velmor
