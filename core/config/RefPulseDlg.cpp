#include "config/RefPulseDlg.h"

#include <string_view>

#include "app/Program.h"
#include "protocol/Numbers.h"

namespace velmor {

namespace {

constexpr int kOffsetLimit = 99999;
constexpr std::size_t kOffsetChars = 6;
constexpr std::size_t kOffsetReadChars = 7;
constexpr std::size_t kWidthChars = 4;
const char* const kOffsetMessage = "Value must between -99999 to +99999";
const char* const kOffsetCaption = "Offset Entry Error";
const char* const kWidthCaption = "Pulse Width Entry Error";

CControl Make(int id, CtlKind kind, const char* text, int radioGroup = 0, int parent = 0)
{
    CControl c;
    c.m_nId = id;
    c.m_kind = kind;
    c.m_strText = text;
    c.m_nRadioGroup = radioGroup;
    c.m_nParent = parent;
    return c;
}

// Digits only, with an optional sign in front from |signs|.
bool OnlyDigits(std::string_view text, std::string_view signs)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') continue;
        if (i == 0 && signs.find(c) != std::string_view::npos) continue;
        return false;
    }
    return true;
}

}  // namespace

CRefPulseDlg::CRefPulseDlg(CProgram& program) : m_program(program)
{
    m_strCaption = "Reference Pulse Control";
    Add(Make(IDC_ENABLE_GROUP, CtlKind::Group, "Enable"));
    Add(Make(IDC_AFTER_WARMUP, CtlKind::Radio, "After Warm-Up", 1, IDC_ENABLE_GROUP));
    Add(Make(IDC_ALWAYS, CtlKind::Radio, "Always", 1, IDC_ENABLE_GROUP));
    Add(Make(IDC_RATE_GROUP, CtlKind::Group, "Rate:"));
    Add(Make(IDC_EVERY_SECOND, CtlKind::Radio, "1PPS   (Every Second)", 2, IDC_RATE_GROUP));
    Add(Make(IDC_EVERY_TWO_SECONDS, CtlKind::Radio, "1PP2S (Every Even Second)", 2, IDC_RATE_GROUP));
    Add(Make(IDC_POLARITY_GROUP, CtlKind::Group, "Polarity"));
    Add(Make(IDC_NORMAL, CtlKind::Radio, "Normal (+Edge on-time)", 3, IDC_POLARITY_GROUP));
    Add(Make(IDC_INVERTED, CtlKind::Radio, "Inverted (-Edge 0n-time)", 3, IDC_POLARITY_GROUP));
    Add(Make(IDC_WIDTH_GROUP, CtlKind::Group, "Pulse Width"));
    Add(Make(IDC_WIDTH_10, CtlKind::Radio, "10 ns", 4, IDC_WIDTH_GROUP));
    Add(Make(IDC_WIDTH_20, CtlKind::Radio, "20 ns", 4, IDC_WIDTH_GROUP));
    Add(Make(IDC_WIDTH_USER, CtlKind::Radio, "User defiened", 4, IDC_WIDTH_GROUP));
    // Fields are named after the unit label beside them.
    CControl width = Make(IDC_USER_WIDTH, CtlKind::Edit, "ms", 0, IDC_WIDTH_GROUP);
    width.m_nMaxLength = static_cast<int>(kWidthChars);
    Add(width);
    Add(Make(IDC_OFFSET_GROUP, CtlKind::Group, "Offset"));
    CControl offset = Make(IDC_OFFSET, CtlKind::Edit, "ns", 0, IDC_OFFSET_GROUP);
    offset.m_nMaxLength = static_cast<int>(kOffsetChars);
    Add(offset);
    CControl ok = Make(IDOK_PULSE, CtlKind::Button, "OK");
    ok.m_role = ButtonRole::Ok;
    Add(ok);
    CControl cancel = Make(IDCANCEL_PULSE, CtlKind::Button, "Cancel");
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
}

void CRefPulseDlg::ErrorBox(const char* text, const char* caption)
{
    m_program.m_host.PlaySound(Sound::Hand);
    m_program.m_host.MessageBox(Owner::Dialog, text, caption, Icon::Error);
}

void CRefPulseDlg::OnInitDialog()
{
    Check(m_bAfterWarmup ? IDC_AFTER_WARMUP : IDC_ALWAYS, true);
    Check(m_bEverySecond ? IDC_EVERY_SECOND : IDC_EVERY_TWO_SECONDS, true);
    Check(m_bPositive ? IDC_NORMAL : IDC_INVERTED, true);
    const bool fixed = m_nWidth == kWidth10ns || m_nWidth == kWidth20ns;
    Check(m_nWidth == kWidth20ns ? IDC_WIDTH_20 : m_nWidth == kWidth10ns ? IDC_WIDTH_10 : IDC_WIDTH_USER, true);
    Enable(IDC_USER_WIDTH, !fixed);
    m_strOpenedUserWidth = m_strUserWidth;
    Ctl(IDC_OFFSET).m_strValue = m_strOffset;
    Ctl(IDC_USER_WIDTH).m_strValue = m_strUserWidth;
}

void CRefPulseDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_WIDTH_10:
    case IDC_WIDTH_20:
        Enable(IDC_USER_WIDTH, false);
        Ctl(IDC_USER_WIDTH).m_strValue.clear();
        break;
    case IDC_WIDTH_USER:
        Enable(IDC_USER_WIDTH, true);
        Ctl(IDC_USER_WIDTH).m_strValue = m_strOpenedUserWidth;
        break;
    default:
        break;
    }
}

void CRefPulseDlg::OnEditChange(int id)
{
    if (id == IDC_OFFSET) {
        const std::string text = Text(IDC_OFFSET).substr(0, kOffsetReadChars);
        const int value = AtoI(text);
        const bool bad = !OnlyDigits(text, "+-") || value < -kOffsetLimit || value > kOffsetLimit;
        if (bad) ErrorBox(kOffsetMessage, kOffsetCaption);
    } else if (id == IDC_USER_WIDTH) {
        const std::string text = Text(IDC_USER_WIDTH).substr(0, kWidthChars);
        const int value = AtoI(text);
        const bool bad = !OnlyDigits(text, "+") || value < 0 || value > 999;
        if (bad) ErrorBox("Value must between 0 to 999", kWidthCaption);
    }
}

bool CRefPulseDlg::OnOK()
{
    int width = 0;
    if (IsChecked(IDC_WIDTH_10)) {
        width = kWidth10ns;
    } else if (IsChecked(IDC_WIDTH_20)) {
        width = kWidth20ns;
    } else {
        width = AtoI(Text(IDC_USER_WIDTH).substr(0, kWidthChars));
        if (width <= 0 || width >= 1000) {
            ErrorBox("Value must between 1 to 999", kWidthCaption);
            Focus(IDC_USER_WIDTH);
            return false;
        }
    }
    const int offset = AtoI(Text(IDC_OFFSET).substr(0, kOffsetReadChars));
    if (offset < -kOffsetLimit || offset > kOffsetLimit) {
        ErrorBox(kOffsetMessage, kOffsetCaption);
        Focus(IDC_OFFSET);
        return false;
    }
    m_bAfterWarmup = IsChecked(IDC_AFTER_WARMUP);
    m_bEverySecond = IsChecked(IDC_EVERY_SECOND);
    m_bPositive = IsChecked(IDC_NORMAL);
    m_nWidth = width;
    m_strOffset = Text(IDC_OFFSET);
    m_strUserWidth = Text(IDC_USER_WIDTH);
    return true;
}

}  // namespace velmor
