#include "display/MessageWindow.h"

namespace velmor {

bool CMessageWindow::ShowMessage(const std::string& text, const std::string& caption, int seconds)
{
    if (m_bShown) return false;
    m_bShown = true;
    m_strText = text;
    m_strCaption = caption;
    m_nSeconds = seconds;
    if (!m_host.ShowNotice(*this)) {
        m_bShown = false;
        return false;
    }
    return true;
}

void CMessageWindow::OnTimer()
{
    if (!m_bShown) return;
    m_bShown = false;
    m_host.CloseNotice();
}

}  // namespace velmor
