#include "config/EventTriggerDlg.h"

#include <memory>

#include "config/ConfigContext.h"
#include "widgets/PictureMask.h"

namespace velmor {

namespace {

// Appends the parts of |text| split at |separators| in turn, and then the
// remainder, each followed by a comma. A missing separator leaves the rest
// in its part and the later parts empty.
void AppendParts(std::string& command, const std::string& text, const char* separators)
{
    std::size_t pos = 0;
    for (const char* sep = separators; *sep; ++sep) {
        std::size_t at = pos <= text.size() ? text.find(*sep, pos) : std::string::npos;
        if (at == std::string::npos) at = text.size();
        if (pos < text.size()) command.append(text, pos, at - pos);
        command += ',';
        pos = at + 1;
    }
    if (pos < text.size()) command.append(text, pos, std::string::npos);
    command += ',';
}

}  // namespace

CEventTriggerDlg::CEventTriggerDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "Set Event Trigger";
    Add(MakeMaskField(IDC_START, "Start Time:"));
    Add(MakeMaskField(IDC_PERIOD, "Period:"));
    Add(MakeMaskField(IDC_WIDTH, "Width:"));
    Add(MakeControl(IDC_INVERT, CtlKind::Check, "Invert"));
    Add(MakeControl(IDC_SET, CtlKind::Button, "Set"));
    CControl cancel = MakeControl(IDCANCEL_EVENT, CtlKind::Button, "Cancel");
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
    // No OK button is shown; this one gives the Enter key its OK meaning.
    CControl ok = MakeControl(IDOK_EVENT, CtlKind::Button, "OK");
    ok.m_role = ButtonRole::Ok;
    ok.m_bVisible = false;
    Add(ok);
}

void CEventTriggerDlg::OnInitDialog()
{
    m_context.SetEventTriggerDlg(this);
    Ctl(IDC_START).m_pMask->SetMask(kStartMask);
    Ctl(IDC_PERIOD).m_pMask->SetMask(kPeriodMask);
    Ctl(IDC_WIDTH).m_pMask->SetMask(kWidthMask);
    Ctl(IDC_START).m_pMask->FillFromDigits(m_strStart, 0, false, true);
    Ctl(IDC_PERIOD).m_pMask->FillFromDigits(m_strPeriod, 0, false, true);
    Ctl(IDC_WIDTH).m_pMask->FillFromDigits(m_strWidth, 0, false, true);
    Check(IDC_INVERT, m_strInvert == "1");
}

void CEventTriggerDlg::Fill(int id, const std::string& digits)
{
    Ctl(id).m_pMask->FillFromDigits(digits, 0, false, true);
    Changed();
}

void CEventTriggerDlg::SetInvert(bool checked)
{
    Check(IDC_INVERT, checked);
    Changed();
}

void CEventTriggerDlg::BuildCommand()
{
    std::string command = "EVTG,";
    AppendParts(command, Text(IDC_START).substr(0, kMaxFieldLength), ":::.");
    AppendParts(command, Text(IDC_PERIOD).substr(0, kMaxFieldLength), "::.");
    const std::string width = Text(IDC_WIDTH).substr(0, kMaxFieldLength);
    command += width.substr(0, width.find(','));
    command += ',';
    command += IsChecked(IDC_INVERT) ? '1' : '0';
    m_strCommand = command;
}

void CEventTriggerDlg::OnCommand(int id)
{
    if (id != IDC_SET) return;
    BuildCommand();
    m_context.SendCommand(m_strCommand);
}

bool CEventTriggerDlg::OnOK()
{
    BuildCommand();
    Unregister();
    return true;
}

void CEventTriggerDlg::OnCancel() { Unregister(); }

void CEventTriggerDlg::OnDestroy() { Unregister(); }

void CEventTriggerDlg::Unregister()
{
    if (m_context.EventTriggerDlg() == this) m_context.SetEventTriggerDlg(nullptr);
}

}  // namespace velmor
