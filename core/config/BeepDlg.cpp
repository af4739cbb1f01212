#include "config/BeepDlg.h"

namespace velmor {

CBeepDlg::CBeepDlg()
{
    m_strCaption = "Beep Control ";
    Add(MakeControl(IDC_GROUP, CtlKind::Group, "Beep Status"));
    CControl enable = MakeControl(IDC_ENABLE, CtlKind::Radio, "Enable");
    enable.m_nParent = IDC_GROUP;
    enable.m_nRadioGroup = 1;
    Add(enable);
    CControl disable = enable;
    disable.m_nId = IDC_DISABLE;
    disable.m_strText = "Disable";
    disable.m_bSameRow = true;
    Add(disable);
    AddOkCancel(IDOK_BEEP, IDCANCEL_BEEP);
}

void CBeepDlg::OnInitDialog()
{
    Check(IDC_ENABLE, m_bEnabled);
    Check(IDC_DISABLE, !m_bEnabled);
}

bool CBeepDlg::OnOK()
{
    m_bEnabled = IsChecked(IDC_ENABLE);
    return true;
}

}  // namespace velmor
