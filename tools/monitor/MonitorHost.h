#pragma once
// The Host of a program without a display: boxes go to the log and take
// their default answer, dialogs are cancelled, the poll timer and the notice
// timer are deadlines the monitor's loop checks, and "invalidate" asks the
// loop to run the paint decision (which sends the commands that go with a
// drawing, the subscriptions among them) without drawing anything.

#include <cstdint>
#include <string>

#include "platform/Host.h"

namespace velmor {

class CMonitorHost : public Host {
public:
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
    bool ChooseFont(CLogFont& font) override;

    // Runs the notice window's close timer when due.
    void CheckNoticeTimer();

    bool m_bPollTimerRunning = false;
    int m_nPollPeriodMs = 200;
    bool m_bPaintWanted = true;

private:
    CMessageWindow* m_pNotice = nullptr;
    std::uint64_t m_qwNoticeDue = 0;
    std::string m_strLastNotice;
    std::string m_strLastBox;
    std::uint64_t m_qwLastBoxTick = 0;
};

}  // namespace velmor
