#include "support/FakeHost.h"

#include "config/DialogModel.h"
#include "display/MessageWindow.h"
#include "text/Text.h"

namespace velmor {

Answer CFakeHost::MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                             Buttons buttons)
{
    std::string line = std::string("box ") + IconName(icon) + " " + Quoted(caption) + " " + Quoted(text);
    if (buttons == Buttons::OkCancel) line += " okcancel";
    if (buttons == Buttons::YesNo) line += " yesno";
    m_log.push_back(line);
    m_boxes.push_back(BoxRecord{owner, text, caption, icon, buttons});
    if (m_onBox) {
        ++m_nModalDepth;
        m_onBox(m_boxes.back());
        --m_nModalDepth;
    }
    if (!m_boxAnswers.empty()) {
        Answer answer = m_boxAnswers.front();
        m_boxAnswers.pop_front();
        return answer;
    }
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

void CFakeHost::PlaySound(Sound sound)
{
    m_log.push_back(sound == Sound::Hand ? "sound hand" : "sound exclamation");
}

bool CFakeHost::ShowNotice(CMessageWindow& window)
{
    m_log.push_back("notice " + Quoted(window.m_strCaption) + " " + Quoted(window.m_strText) + " " +
                    std::to_string(window.m_nSeconds));
    if (m_bNoticeFails) return false;
    m_pNotice = &window;
    return true;
}

void CFakeHost::CloseNotice()
{
    m_log.push_back("notice close");
    m_pNotice = nullptr;
}

bool CFakeHost::ExpireNotice()
{
    if (m_pNotice == nullptr) return false;
    CMessageWindow* window = m_pNotice;
    m_pNotice = nullptr;
    window->OnTimer();
    return true;
}

bool CFakeHost::StartPollTimer(int periodMs)
{
    m_log.push_back("timer start " + std::to_string(periodMs));
    if (m_bTimerStartFails) return false;
    m_bTimerRunning = true;
    m_nTimerPeriod = periodMs;
    return true;
}

void CFakeHost::StopPollTimer()
{
    m_log.push_back("timer stop");
    m_bTimerRunning = false;
}

void CFakeHost::InvalidateView(bool erase) { m_log.push_back(erase ? "invalidate erase" : "invalidate"); }

void CFakeHost::RedrawViewNow() { m_log.push_back("redraw"); }

bool CFakeHost::RunDialog(CDialogModel& dialog)
{
    m_log.push_back("dialog " + Quoted(dialog.m_strCaption));
    dialog.Init();
    ++m_nModalDepth;
    if (m_onDialog) {
        m_onDialog(dialog);
    } else {
        bool ok = false;
        if (!m_dialogAnswers.empty()) {
            ok = m_dialogAnswers.front();
            m_dialogAnswers.pop_front();
        }
        if (ok)
            dialog.PressEnter();
        else
            dialog.PressEscape();
    }
    if (!dialog.IsEnded()) dialog.PressEscape();
    if (!dialog.IsEnded()) dialog.EndDialog(false);
    --m_nModalDepth;
    dialog.Destroy();
    return dialog.ResultOk();
}

bool CFakeHost::ChooseFont(CLogFont& font)
{
    m_log.push_back("choosefont");
    if (m_fontChoices.empty()) return false;
    font = m_fontChoices.front();
    m_fontChoices.pop_front();
    return true;
}

std::vector<std::string> CFakeHost::Lines(const std::string& prefix) const
{
    std::vector<std::string> lines;
    for (const auto& line : m_log)
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    return lines;
}

void CFakeHost::Clear()
{
    m_log.clear();
    m_boxes.clear();
}

}  // namespace velmor
