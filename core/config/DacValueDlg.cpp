#include "config/DacValueDlg.h"

#include "config/ConfigContext.h"
#include "text/Text.h"

namespace velmor {

namespace {

}  // namespace

bool ReadNonNegativeInteger(const std::string& text, unsigned& value)
{
    std::size_t i = 0;
    auto blank = [&](std::size_t k) { return k < text.size() && (text[k] == ' ' || text[k] == '\t'); };
    while (blank(i)) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    const std::size_t digits = i;
    unsigned long long number = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (number <= 0xFFFFFFFFull) number = number * 10 + static_cast<unsigned>(text[i] - '0');
        ++i;
    }
    if (i == digits || number > 0xFFFFFFFFull) return false;
    while (blank(i)) ++i;
    if (i != text.size()) return false;
    value = static_cast<unsigned>(number);
    return true;
}

CDacValueDlg::CDacValueDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "DAC Value Control ";
    Add(MakeControl(IDC_WARNING, CtlKind::Label, "Warning:  Pressing the \"Set\" button restarts discipline cycle."));
    CControl value = MakeControl(IDC_VALUE, CtlKind::Edit, "DAC value:");
    value.m_nMaxLength = kMaxLength;
    Add(value);
    Add(MakeControl(IDC_SET, CtlKind::Button, "&Set"));
    CControl exit = MakeControl(IDOK_EXIT, CtlKind::Button, "&Exit");
    exit.m_role = ButtonRole::Ok;
    Add(exit);
}

void CDacValueDlg::OnInitDialog() { Ctl(IDC_VALUE).m_strValue = std::to_string(m_nValue); }

std::string CDacValueDlg::BuildCommand() const
{
    unsigned value = 0;
    if (!ReadNonNegativeInteger(Text(IDC_VALUE).substr(0, kMaxLength), value)) return {};
    if (HasCapability(m_context.State().m_nReportedProductType, kDacvCommand)) return Format("DACV,%06u", value);
    return Format("DACP,%06u", value);
}

void CDacValueDlg::ShowPositiveIntegerError()
{
    m_context.Events().PlaySound(Sound::Hand);
    m_context.Events().MessageBox(Owner::Dialog, "Please enter a positive integer.", kAppCaption, Icon::Error);
}

void CDacValueDlg::OnCommand(int id)
{
    if (id != IDC_SET) return;
    const std::string command = BuildCommand();
    if (command.empty()) ShowPositiveIntegerError();
    else m_context.SendCommand(command);
}

bool CDacValueDlg::OnOK()
{
    unsigned value = 0;
    if (ReadNonNegativeInteger(Text(IDC_VALUE).substr(0, kMaxLength), value)) return true;
    ShowPositiveIntegerError();
    return false;
}

}  // namespace velmor
