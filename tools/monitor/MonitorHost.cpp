#include "MonitorHost.h"

#include <chrono>

#include "MonitorLog.h"
#include "config/DialogModel.h"
#include "display/MessageWindow.h"

namespace velmor {

Answer CMonitorHost::MessageBox(Owner, const std::string& text, const std::string& caption, Icon icon,
                                Buttons buttons)
{
    // The same box every few seconds (a port that stays away) is logged once
    // a minute, not at every retry.
    const std::string line = (m_strDevice.empty() ? "" : m_strDevice + ": ") + caption + ": " + text;
    const std::uint64_t now = TickCount();
    if (line != m_strLastBox || now - m_qwLastBoxTick >= 60000) {
        LogLevel level = LogLevel::Notice;
        if (icon == Icon::Error || icon == Icon::Warning) level = LogLevel::Warning;
        else if (icon == Icon::Info) level = LogLevel::Info;
        Log(level, line);
        m_strLastBox = line;
        m_qwLastBoxTick = now;
    }
    // A box's default button: the first one.
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

void CMonitorHost::PlaySound(Sound) {}

bool CMonitorHost::ShowNotice(CMessageWindow& window)
{
    if (window.m_strText != m_strLastNotice) {
        Log(LogLevel::Info, (m_strDevice.empty() ? "" : m_strDevice + ": ") + window.m_strText);
        m_strLastNotice = window.m_strText;
    }
    m_pNotice = &window;
    m_qwNoticeDue = TickCount() + static_cast<std::uint64_t>(window.m_nSeconds > 0 ? window.m_nSeconds : 0) * 1000;
    return true;
}

void CMonitorHost::CloseNotice() { m_pNotice = nullptr; }

void CMonitorHost::CheckNoticeTimer()
{
    if (m_pNotice != nullptr && TickCount() >= m_qwNoticeDue) {
        CMessageWindow* window = m_pNotice;
        m_pNotice = nullptr;
        window->OnTimer();
    }
}

std::uint64_t CMonitorHost::TickCount()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool CMonitorHost::StartPollTimer(int periodMs)
{
    m_bPollTimerRunning = true;
    m_nPollPeriodMs = periodMs > 0 ? periodMs : 200;
    return true;
}

void CMonitorHost::StopPollTimer() { m_bPollTimerRunning = false; }

void CMonitorHost::InvalidateView(bool) { m_bRefreshWanted = true; }

void CMonitorHost::RedrawViewNow() { m_bRefreshWanted = true; }

bool CMonitorHost::RunDialog(CDialogModel&)
{
    // Only the serial-port dialog can come up unasked (a port that failed
    // to open); the monitor retries by itself instead.
    Log(LogLevel::Debug, "a dialog was asked for; cancelled");
    return false;
}

}  // namespace velmor
