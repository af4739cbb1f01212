#include "config/BeepDlg.h"

namespace velmor {

namespace {

CControl Make(int id, CtlKind kind, const char* text, ButtonRole role = ButtonRole::None)
{
    CControl c;
    c.m_nId = id;
    c.m_kind = kind;
    c.m_strText = text;
    c.m_role = role;
    return c;
}

}  // namespace

CBeepDlg::CBeepDlg()
{
    m_strCaption = "Beep Control ";
    Add(Make(IDC_GROUP, CtlKind::Group, "Beep Status"));
    CControl enable = Make(IDC_ENABLE, CtlKind::Radio, "Enable");
    enable.m_nParent = IDC_GROUP;
    enable.m_nRadioGroup = 1;
    Add(enable);
    CControl disable = enable;
    disable.m_nId = IDC_DISABLE;
    disable.m_strText = "Disable";
    Add(disable);
    Add(Make(IDOK_BEEP, CtlKind::Button, "OK", ButtonRole::Ok));
    Add(Make(IDCANCEL_BEEP, CtlKind::Button, "Cancel", ButtonRole::Cancel));
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
