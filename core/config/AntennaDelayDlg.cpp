#include "config/AntennaDelayDlg.h"

#include <string>

#include "protocol/Numbers.h"

namespace velmor {

CAntennaDelayDlg::CAntennaDelayDlg()
{
    m_strCaption = "Set Antenna Delay";
    CControl prompt;
    prompt.m_nId = IDC_DELAY_PROMPT;
    prompt.m_kind = CtlKind::Label;
    prompt.m_strText = "Enter the antenna cable delay value.";
    Add(prompt);
    CControl delay;
    delay.m_nId = IDC_DELAY;
    delay.m_kind = CtlKind::Edit;
    delay.m_strText = "Delay ns:";
    Add(delay);
    CControl ok;
    ok.m_nId = IDOK_DELAY;
    ok.m_kind = CtlKind::Button;
    ok.m_strText = "OK";
    ok.m_role = ButtonRole::Ok;
    Add(ok);
    CControl cancel = ok;
    cancel.m_nId = IDCANCEL_DELAY;
    cancel.m_strText = "Cancel";
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
}

void CAntennaDelayDlg::OnInitDialog() { Ctl(IDC_DELAY).m_strValue = std::to_string(m_nDelay); }

bool CAntennaDelayDlg::OnOK()
{
    m_nDelay = AtoI(std::string_view(Text(IDC_DELAY)).substr(0, kReadChars));
    return true;
}

}  // namespace velmor
