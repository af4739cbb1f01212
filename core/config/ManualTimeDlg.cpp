#include "config/ManualTimeDlg.h"

namespace velmor {

CManualTimeDlg::CManualTimeDlg()
{
    m_strCaption = "Manual Time Dialog";
    CControl text = MakeControl(IDC_MANUAL_TEXT, CtlKind::Edit, "Manual Time Entry: yyyy,mm,dd,hh,mm,ss");
    text.m_nMaxLength = kMaxText;
    Add(text);
    AddOkCancel(IDOK_MANUAL, IDCANCEL_MANUAL);
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
