#include "ScriptHost.h"

#include "Script.h"
#include "display/MessageWindow.h"
#include "settings/FontSettings.h"
#include "text/Text.h"

namespace velmor::replay {

const char* AnswerName(Answer answer)
{
    switch (answer) {
    case Answer::Ok: return "OK";
    case Answer::Cancel: return "CANCEL";
    case Answer::Yes: return "YES";
    case Answer::No: return "NO";
    }
    return "OK";
}

CScriptHost::CScriptHost(std::function<void(const std::string&)> emit, IReplayDriver& driver)
    : m_emit(std::move(emit)), m_driver(driver)
{
}

void CScriptHost::QueueAnswer(Answer answer, int line) { m_answers.push_back({answer, line}); }

Answer CScriptHost::TakeAnswer(Answer first, Answer second, Answer fallback, const std::string& what)
{
    if (m_answers.empty()) return fallback;
    CQueuedAnswer queued = m_answers.front();
    m_answers.pop_front();
    if (queued.m_answer != first && queued.m_answer != second)
        throw CScriptError(queued.m_nLine, std::string("answer ") + AnswerName(queued.m_answer) +
                                               " does not fit " + what + " (it takes " + AnswerName(first) +
                                               " or " + AnswerName(second) + ")");
    return queued.m_answer;
}

void CScriptHost::Advance(std::uint64_t ms)
{
    const std::uint64_t target = m_qwNow + ms;
    for (;;) {
        CTimer* next = nullptr;
        for (CTimer* timer : {&m_notice, &m_poll}) {
            if (!timer->m_bArmed || timer->m_qwDue > target) continue;
            if (!next || timer->m_qwDue < next->m_qwDue ||
                (timer->m_qwDue == next->m_qwDue && timer->m_qwOrder < next->m_qwOrder))
                next = timer;
        }
        if (!next) break;
        // A nested Advance may already have carried the clock past this due time.
        if (next->m_qwDue > m_qwNow) m_qwNow = next->m_qwDue;
        if (next == &m_poll) {
            // Re-armed before it runs, so ticks keep coming inside a nested wait.
            Arm(m_poll, m_poll.m_qwDue + m_qwPollPeriod);
            m_driver.OnPollTick();
        } else {
            m_notice.m_bArmed = false;
            if (m_pNoticeWindow) m_pNoticeWindow->OnTimer();
        }
    }
    if (target > m_qwNow) m_qwNow = target;
}

Answer CScriptHost::MessageBox(Owner /*owner*/, const std::string& text, const std::string& caption, Icon icon,
                               Buttons buttons)
{
    Answer answer = Answer::Ok;
    const std::string what = "the box " + Quoted(caption);
    switch (buttons) {
    case Buttons::Ok: break;
    case Buttons::OkCancel: answer = TakeAnswer(Answer::Ok, Answer::Cancel, Answer::Ok, what); break;
    case Buttons::YesNo: answer = TakeAnswer(Answer::Yes, Answer::No, Answer::Yes, what); break;
    }
    m_emit(std::string("box ") + IconName(icon) + " " + Quoted(caption) + " " + Quoted(text) + " -> " +
           AnswerName(answer));
    m_driver.ModalClosed();
    return answer;
}

void CScriptHost::PlaySound(Sound sound)
{
    m_emit(sound == Sound::Hand ? "sound MB_ICONHAND" : "sound MB_ICONEXCLAMATION");
}

bool CScriptHost::ShowNotice(CMessageWindow& window)
{
    m_emit("notice " + Quoted(window.m_strCaption) + " " + Quoted(window.m_strText) + " " +
           std::to_string(window.m_nSeconds));
    m_pNoticeWindow = &window;
    const std::uint64_t seconds = window.m_nSeconds > 0 ? static_cast<std::uint64_t>(window.m_nSeconds) : 0;
    Arm(m_notice, m_qwNow + seconds * 1000);
    return true;
}

void CScriptHost::CloseNotice() { m_notice.m_bArmed = false; }

bool CScriptHost::StartPollTimer(int periodMs)
{
    if (periodMs <= 0) return false;
    m_qwPollPeriod = static_cast<std::uint64_t>(periodMs);
    Arm(m_poll, m_qwNow + m_qwPollPeriod);
    return true;
}

void CScriptHost::InvalidateView(bool /*erase*/) { m_bRepaintPending = true; }

void CScriptHost::RedrawViewNow()
{
    m_bRepaintPending = false;
    m_driver.PaintNow();
}

bool CScriptHost::ChooseFont(CLogFont& font)
{
    const Answer answer = TakeAnswer(Answer::Ok, Answer::Cancel, Answer::Ok, "the font chooser");
    m_emit("font " + Quoted(font.m_strFaceName) + " -> " + AnswerName(answer));
    m_driver.ModalClosed();
    return answer == Answer::Ok;
}

}  // namespace velmor::replay
