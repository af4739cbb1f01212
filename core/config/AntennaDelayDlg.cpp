#include "config/AntennaDelayDlg.h"

#include <string>

#include "text/Numbers.h"

namespace velmor {

CAntennaDelayDlg::CAntennaDelayDlg()
{
    m_strCaption = "Set Antenna Delay";
    Add(MakeControl(IDC_DELAY_PROMPT, CtlKind::Label, "Enter the antenna cable delay value."));
    Add(MakeControl(IDC_DELAY, CtlKind::Edit, "Delay ns:"));
    AddOkCancel(IDOK_DELAY, IDCANCEL_DELAY);
}

void CAntennaDelayDlg::OnInitDialog() { Ctl(IDC_DELAY).m_strValue = std::to_string(m_nDelay); }

bool CAntennaDelayDlg::OnOK()
{
    m_nDelay = AtoI(std::string_view(Text(IDC_DELAY)).substr(0, kReadChars));
    return true;
}

}  // namespace velmor
