#pragma once
// The desktop as a script sees it: boxes answered from a queue, sounds and
// notices printed, a virtual millisecond clock, the 200 ms poll timer and the
// notice's close timer as timers on that clock, and repaint requests kept
// until the session delivers them.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "platform/Host.h"

namespace velmor::replay {

// What the host needs back from the session that runs the script.
class IReplayDriver {
public:
    virtual ~IReplayDriver() = default;
    // A poll tick fell due: run it and deliver a pending repaint.
    virtual void OnPollTick() = 0;
    // Paint the view at once.
    virtual void PaintNow() = 0;
    // Run a modal dialog off the script; true when it closed with OK.
    virtual bool RunDialog(CDialogModel& dialog) = 0;
    // A box or the font chooser was answered and is gone.
    virtual void ModalClosed() = 0;
};

class CScriptHost : public Host {
public:
    // The clock starts well away from 0 so that nothing depends on a zero tick.
    static constexpr std::uint64_t kClockStart = 1000000;

    CScriptHost(std::function<void(const std::string&)> emit, IReplayDriver& driver);

    // Queues the answer to the next box that offers a choice; |line| names
    // the directive in error messages.
    void QueueAnswer(Answer answer, int line);
    // Moves the clock forward by |ms|, firing every timer that falls due on
    // the way in order of due time; timers due at the same instant fire in
    // the order they were armed. Re-entrant: a timer may run a nested Advance.
    void Advance(std::uint64_t ms);

    bool m_bRepaintPending = false;

    Answer MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons) override;
    void PlaySound(Sound sound) override;
    bool ShowNotice(CMessageWindow& window) override;
    void CloseNotice() override;
    std::uint64_t TickCount() override { return m_qwNow; }
    bool StartPollTimer(int periodMs) override;
    void StopPollTimer() override { m_poll.m_bArmed = false; }
    void InvalidateView(bool erase) override;
    void RedrawViewNow() override;
    bool RunDialog(CDialogModel& dialog) override { return m_driver.RunDialog(dialog); }
    bool ChooseFont(CLogFont& font) override;

private:
    struct CTimer {
        bool m_bArmed = false;
        std::uint64_t m_qwDue = 0;
        std::uint64_t m_qwOrder = 0;  // arming order, breaks ties of equal due times
    };
    void Arm(CTimer& timer, std::uint64_t due) { timer = {true, due, ++m_qwArmed}; }
    // The next queued answer, checked against the two it may be.
    Answer TakeAnswer(Answer first, Answer second, Answer fallback, const std::string& what);

    std::function<void(const std::string&)> m_emit;
    IReplayDriver& m_driver;
    std::uint64_t m_qwNow = kClockStart;
    std::uint64_t m_qwArmed = 0;
    CTimer m_poll;
    std::uint64_t m_qwPollPeriod = 200;
    CTimer m_notice;
    CMessageWindow* m_pNoticeWindow = nullptr;
    struct CQueuedAnswer {
        Answer m_answer;
        int m_nLine;
    };
    std::deque<CQueuedAnswer> m_answers;
};

const char* AnswerName(Answer answer);

}  // namespace velmor::replay
