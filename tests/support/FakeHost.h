#pragma once
// A Host that records what core asks of the desktop, for tests.
//
// Every call appends one line to m_log, in call order:
//   sound hand | sound exclamation
//   box <icon> "<caption>" "<text>"            (icon: error, warning, question, info;
//                                               " okcancel" / " yesno" appended for those buttons)
//   notice "<caption>" "<text>" <seconds>    | notice close
//   timer start <periodMs>                   | timer stop
//   invalidate | invalidate erase            | redraw
//   dialog "<caption>"                       | choosefont
// Texts are written with Escape(), so CR, LF and quotes are visible.
//
// Answers come from queues; when a queue is empty a default is used (boxes:
// Ok, or Yes for a Yes/No box; dialogs: cancelled; font chooser: cancelled).
// Hooks let a test act while a box or dialog is "open", which is how the
// nested poll ticks of a modal box are reproduced.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "settings/FontSettings.h"

namespace velmor {

class CFakeHost : public Host {
public:
    struct BoxRecord {
        Owner m_owner;
        std::string m_strText;
        std::string m_strCaption;
        Icon m_icon;
        Buttons m_buttons;
    };

    Answer MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons = Buttons::Ok) override;
    void PlaySound(Sound sound) override;
    bool ShowNotice(CMessageWindow& window) override;
    void CloseNotice() override;
    std::uint64_t TickCount() override { return m_nTick; }
    bool StartPollTimer(int periodMs) override;
    void StopPollTimer() override;
    void InvalidateView(bool erase) override;
    void RedrawViewNow() override;
    bool RunDialog(CDialogModel& dialog) override;
    bool ChooseFont(CLogFont& font) override;
    // True while a box or dialog is "open" (inside the hooks).
    bool IsModalWindowOpen() override { return m_nModalDepth > 0; }

    // Lets the shown notice's time run out (calls its OnTimer). False when
    // no notice is shown.
    bool ExpireNotice();
    void Advance(std::uint64_t ms) { m_nTick += ms; }

    // The log lines that start with |prefix| ("box", "sound"...).
    std::vector<std::string> Lines(const std::string& prefix) const;
    void Clear();

    std::vector<std::string> m_log;
    std::vector<BoxRecord> m_boxes;

    std::deque<Answer> m_boxAnswers;
    // Called while a box is open, before it is answered.
    std::function<void(const BoxRecord&)> m_onBox;

    // Drives a dialog after its Init(): click, select, type, then end it.
    // When unset, the next m_dialogAnswers entry decides: true presses Enter
    // (OK with validation), false presses Escape. A dialog still open after
    // that is closed as cancelled.
    std::function<void(CDialogModel&)> m_onDialog;
    std::deque<bool> m_dialogAnswers;

    // The font the "user" picks; when empty the chooser is cancelled.
    std::deque<CLogFont> m_fontChoices;

    int m_nModalDepth = 0;
    std::uint64_t m_nTick = 0;
    bool m_bTimerRunning = false;
    int m_nTimerPeriod = 0;
    bool m_bTimerStartFails = false;
    bool m_bNoticeFails = false;
    CMessageWindow* m_pNotice = nullptr;
};

}  // namespace velmor
