#include "config/TimeTagDlg.h"

#include "config/ConfigContext.h"

namespace velmor {

CTimeTagDlg::CTimeTagDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "Time Tag";
    Add(MakeControl(IDC_TAG_LIST, CtlKind::List, ""));
    Add(MakeControl(IDC_RELOAD, CtlKind::Button, "Reload Time Tag"));
    Add(MakeControl(IDC_CLEAR, CtlKind::Button, "&Clear Time Tag")).m_bSameRow = true;
    Add(MakeControl(IDC_MODE_GROUP, CtlKind::Group, "Time Tag Mode:"));
    CControl burst = MakeControl(IDC_BURST, CtlKind::Radio, "&Burst ", IDC_MODE_GROUP);
    burst.m_nRadioGroup = 1;
    Add(burst);
    CControl wrap = MakeControl(IDC_WRAP, CtlKind::Radio, "&Wrap Around", IDC_MODE_GROUP);
    wrap.m_nRadioGroup = 1;
    wrap.m_bSameRow = true;
    Add(wrap);
    CControl ok = MakeControl(IDOK_TAG, CtlKind::Button, "OK");
    ok.m_role = ButtonRole::Ok;
    Add(ok);
    CControl cancel = MakeControl(IDCANCEL_TAG, CtlKind::Button, "Cancel");
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
}

void CTimeTagDlg::OnInitDialog()
{
    m_bClosed = false;
    m_context.SetTimeTagDlg(this);
    if (m_chMode == 'B' || m_chMode == 'W') {
        const int id = m_chMode == 'B' ? IDC_BURST : IDC_WRAP;
        Enable(id, true);
        Check(id, true);
    } else {
        // A NUL mode (no TAGM reply yet) shows as nothing after the '='.
        std::string text = "Unrecognized Time Tag Mode = ";
        if (m_chMode) text += m_chMode;
        m_context.Events().PlaySound(Sound::Hand);
        m_context.Events().MessageBox(Owner::Dialog, text, "TAGM Initialization Error!!", Icon::Error);
        for (int id : {IDC_BURST, IDC_WRAP}) {
            Enable(id, false);
            Check(id, false);
        }
    }
    m_context.SendCommand("UNSL,TAGL,1");
    ClearList();
    m_context.SendCommand("TAGT");
}

void CTimeTagDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_RELOAD:
        ClearList();
        m_context.SendCommand("TAGT");
        break;
    case IDC_CLEAR:
        // The unit's TAGC reply empties the list.
        m_context.SendCommand("TAGC");
        break;
    case IDC_BURST:
        m_chMode = 'B';
        m_context.SendCommand("TAGM,B");
        break;
    case IDC_WRAP:
        m_chMode = 'W';
        m_context.SendCommand("TAGM,W");
        break;
    default: break;
    }
}

bool CTimeTagDlg::OnOK()
{
    Close();
    return true;
}

void CTimeTagDlg::OnCancel() { Close(); }

void CTimeTagDlg::OnDestroy() { Close(); }

void CTimeTagDlg::Close()
{
    if (m_bClosed) return;
    m_bClosed = true;
    m_context.SendCommand("UNSL,TAGL,0");
    if (m_context.TimeTagDlg() == this) m_context.SetTimeTagDlg(nullptr);
}

void CTimeTagDlg::ClearList()
{
    CControl& list = Ctl(IDC_TAG_LIST);
    list.m_items.clear();
    list.m_nSelection = -1;
    Changed();
}

void CTimeTagDlg::AddLine(const std::string& line)
{
    CControl& list = Ctl(IDC_TAG_LIST);
    list.m_items.push_back(line);
    list.m_nSelection = static_cast<int>(list.m_items.size()) - 1;
    Changed();
}

void CTimeTagDlg::SetMode(char mode)
{
    if (mode != 'B' && mode != 'W') return;
    m_chMode = mode;
    Enable(IDC_BURST, true);
    Enable(IDC_WRAP, true);
    Check(IDC_BURST, mode == 'B');
    Check(IDC_WRAP, mode == 'W');
    Changed();
}

}  // namespace velmor
