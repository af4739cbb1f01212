#include "config/ManualTimeDlg.h"

namespace velmor {

CManualTimeDlg::CManualTimeDlg()
{
    m_strCaption = "Manual Time Dialog";
    CControl text;
    text.m_nId = IDC_MANUAL_TEXT;
    text.m_kind = CtlKind::Edit;
    text.m_strText = "Manual Time Entry: yyyy,mm,dd,hh,mm,ss";
    text.m_nMaxLength = kMaxText;
    Add(text);
    CControl ok;
    ok.m_nId = IDOK_MANUAL;
    ok.m_kind = CtlKind::Button;
    ok.m_strText = "OK";
    ok.m_role = ButtonRole::Ok;
    Add(ok);
    CControl cancel = ok;
    cancel.m_nId = IDCANCEL_MANUAL;
    cancel.m_strText = "Cancel";
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
}

void CManualTimeDlg::OnInitDialog()
{
    // Always the same sample, whatever was entered the last time.
    m_strTime = "1999,12,31,23,59,00";
    Ctl(IDC_MANUAL_TEXT).m_strValue = m_strTime;
}

bool CManualTimeDlg::OnOK()
{
    m_strTime = Text(IDC_MANUAL_TEXT).substr(0, kMaxText);
    return true;
}

}  // namespace velmor
