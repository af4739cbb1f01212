#include "config/RateOutputDlg.h"

#include <vector>

#include "config/ConfigContext.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

struct CRateRow {
    const char* m_pszItem;
    int m_nPulseCode;
    int m_nDutyCode;
};

// List position -> item and the codes for "Pulse" and "50% Duty".
const CRateRow kRates[CRateOutputDlg::kRateCount] = {
    {"Programmable", 0, 0},   {"10 MPPS", 1, 1},  {"5 MPPS", 2, 2},     {"1 MPPS", 3, 3},
    {"100 KPPS", 4, 5},       {"10 KPPS", 6, 7},  {"1 KPPS", 8, 9},     {"100 PPS", 10, 11},
    {"50 PPS", 12, 13},       {"20 PPS", 14, 15}, {"10 PPS", 16, 17},   {"1 PPS", 18, 18},
    {"1 PPM", 19, 19},        {"1 Per 30 Min. 30 Sec.", 20, 20},
};

// Splits at every comma, keeping empty fields.
std::vector<std::string> SplitKeepingEmpty(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = text.find(',', pos);
        if (comma == std::string::npos) {
            fields.push_back(text.substr(pos));
            return fields;
        }
        fields.push_back(text.substr(pos, comma - pos));
        pos = comma + 1;
    }
}

}  // namespace

CRateOutputDlg::CRateOutputDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "Set Rate Output";
    Add(MakeControl(IDC_GROUP_RATES, CtlKind::Group, "Programmable Rates"));
    Add(MakeControl(IDC_RATE_A, CtlKind::Radio, "Rate A", IDC_GROUP_RATES, 1));
    Add(MakeControl(IDC_RATE_B, CtlKind::Radio, "Rate B", IDC_GROUP_RATES, 1)).m_bSameRow = true;
    Add(MakeControl(IDC_INVERT, CtlKind::Check, "Invert", IDC_GROUP_RATES));
    Add(MakeControl(IDC_GROUP_PRESET, CtlKind::Group, "Pre-Programmed", IDC_GROUP_RATES));
    Add(MakeControl(IDC_PULSE, CtlKind::Radio, "Pulse", IDC_GROUP_PRESET, 2));
    Add(MakeControl(IDC_DUTY, CtlKind::Radio, "50% Duty", IDC_GROUP_PRESET, 2)).m_bSameRow = true;
    // The list has no label of its own; it is named after the group it sits in.
    CControl list = MakeControl(IDC_RATE_LIST, CtlKind::Combo, "Pre-Programmed", IDC_GROUP_PRESET);
    for (const CRateRow& row : kRates) list.m_items.emplace_back(row.m_pszItem);
    Add(list);
    Add(MakeControl(IDC_GROUP_USER, CtlKind::Group, "User Input", IDC_GROUP_RATES));
    Add(MakeControl(IDC_DIVIDE, CtlKind::Check, "Divide by 2", IDC_GROUP_USER));
    // The value field is named after the unit label beside it, which is
    // enabled with it.
    CControl value = MakeControl(IDC_VALUE, CtlKind::Edit, "\xC2\xB5s", IDC_GROUP_USER);
    value.m_strUnit = "\xC2\xB5s";
    value.m_nUnitId = IDC_VALUE_UNIT;
    Add(value);
    CControl unit = MakeControl(IDC_VALUE_UNIT, CtlKind::Label, "\xC2\xB5s", IDC_GROUP_USER);
    unit.m_bVisible = false;
    Add(unit);
    Add(MakeControl(IDC_APPLY, CtlKind::Button, "Apply Now"));
    CControl close = MakeControl(IDOK_RATE, CtlKind::Button, "Cancel");
    close.m_role = ButtonRole::Ok;
    Add(close);
}

int CRateOutputDlg::RateCode(int position, bool duty)
{
    if (position < 0 || position >= kRateCount) return -1;
    return duty ? kRates[position].m_nDutyCode : kRates[position].m_nPulseCode;
}

int CRateOutputDlg::ListPosition(int code)
{
    for (int i = 0; i < kRateCount; ++i)
        if (kRates[i].m_nPulseCode == code || kRates[i].m_nDutyCode == code) return i;
    return -1;
}

void CRateOutputDlg::OnInitDialog()
{
    m_context.SetRateOutputDlg(this);
    m_context.SendCommand("ROUT");
    Check(IDC_RATE_A, true);
    Check(IDC_RATE_B, false);
    Ctl(IDC_RATE_LIST).m_nSelection = -1;
    EnableForPosition(-1);
}

void CRateOutputDlg::OnDestroy()
{
    if (m_context.RateOutputDlg() == this) m_context.SetRateOutputDlg(nullptr);
}

void CRateOutputDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_RATE_A:
    case IDC_RATE_B:
        // The reply shows the newly chosen output.
        m_context.SendCommand("ROUT");
        break;
    case IDC_APPLY: ApplyNow(); break;
    default: break;
    }
}

void CRateOutputDlg::OnSelChange(int id)
{
    if (id == IDC_RATE_LIST) EnableForPosition(Ctl(IDC_RATE_LIST).m_nSelection);
}

void CRateOutputDlg::EnableForPosition(int position)
{
    const bool known = position >= 0 && position < kRateCount;
    const bool programmable = position == kProgrammable;
    const bool shaped = known && RateCode(position, false) != RateCode(position, true);
    Enable(IDC_PULSE, shaped);
    Enable(IDC_DUTY, shaped);
    Enable(IDC_DIVIDE, programmable);
    Enable(IDC_VALUE, programmable);
    Enable(IDC_VALUE_UNIT, programmable);
}

// A,7,,0,1: output letter, rate code, programmable value, invert, shape.
void CRateOutputDlg::OnRateReply(const std::string& rest)
{
    std::vector<std::string> f = SplitKeepingEmpty(rest);
    f.resize(5);
    const bool forA = f[0] == "A" && IsChecked(IDC_RATE_A);
    const bool forB = f[0] == "B" && IsChecked(IDC_RATE_B);
    if (!forA && !forB) return;

    const int position = !f[1].empty() && IsDigit(f[1][0]) ? ListPosition(AtoI(f[1])) : -1;
    Ctl(IDC_RATE_LIST).m_nSelection = position;
    EnableForPosition(position);

    const bool shape = f[4] == "1";
    Check(IDC_PULSE, !shape);
    Check(IDC_DUTY, shape);
    Check(IDC_DIVIDE, shape);
    Check(IDC_INVERT, f[3] == "1");
    Ctl(IDC_VALUE).m_strValue = f[2];
    Changed();
}

std::string CRateOutputDlg::BuildCommand() const
{
    const int position = Ctl(IDC_RATE_LIST).m_nSelection;
    const int code = RateCode(position, IsChecked(IDC_DUTY));
    if (code < 0) return {};
    const std::string value = Text(IDC_VALUE).substr(0, kMaxValueLength);
    const bool shape = position == kProgrammable ? IsChecked(IDC_DIVIDE) : IsChecked(IDC_DUTY);
    return Format("ROUT,%s,%d,%s,%s,%s", IsChecked(IDC_RATE_A) ? "A" : "B", code, value.c_str(),
                  IsChecked(IDC_INVERT) ? "1" : "0", shape ? "1" : "0");
}

void CRateOutputDlg::ApplyNow()
{
    const std::string command = BuildCommand();
    if (command.empty()) {
        m_context.Events().PlaySound(Sound::Hand);
        m_context.Events().MessageBox(Owner::Dialog, "Select a rate first.", m_strCaption, Icon::Error);
        return;
    }
    m_context.SendCommand(command);
}

}  // namespace velmor
