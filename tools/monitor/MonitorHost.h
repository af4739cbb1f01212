#pragma once
// The events of a session without a display: boxes go to the log (with the
// device) and take their default answer, dialogs are cancelled, the notice
// timer is a deadline the monitor's loop checks, and "invalidate" asks the
// loop to run the session's page-refresh step (which sends the commands that
// go with a drawing, the subscriptions among them) without any page.

#include <cstdint>
#include <string>

#include "platform/Host.h"

namespace velmor {

class CMonitorHost : public ISessionEvents {
public:
    // |device| names the unit in every logged box and notice.
    explicit CMonitorHost(std::string device) : m_strDevice(std::move(device)) {}

    Answer MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons) override;
    void PlaySound(Sound sound) override;
    bool ShowNotice(CMessageWindow& window) override;
    void CloseNotice() override;
    std::uint64_t TickCount() override;
    bool StartPollTimer(int periodMs) override;
    void StopPollTimer() override;
    void InvalidateView(bool erase) override;
    void RedrawViewNow() override;
    bool RunDialog(CDialogModel& dialog) override;

    // Runs the notice window's close timer when due.
    void CheckNoticeTimer();

    bool m_bPollTimerRunning = false;
    int m_nPollPeriodMs = 200;
    bool m_bRefreshWanted = true;

private:
    std::string m_strDevice;
    CMessageWindow* m_pNotice = nullptr;
    std::uint64_t m_qwNoticeDue = 0;
    std::string m_strLastNotice;
    std::string m_strLastBox;
    std::uint64_t m_qwLastBoxTick = 0;
};

}  // namespace velmor
