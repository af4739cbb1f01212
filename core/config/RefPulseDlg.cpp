#include "config/RefPulseDlg.h"

#include <string_view>

#include "config/ConfigContext.h"
#include "text/Numbers.h"

namespace velmor {

namespace {

constexpr int kOffsetLimit = 99999;
constexpr std::size_t kOffsetChars = 6;
constexpr std::size_t kOffsetReadChars = 7;
constexpr std::size_t kWidthChars = 4;
const char* const kOffsetMessage = "Value must between -99999 to +99999";
const char* const kOffsetCaption = "Offset Entry Error";
const char* const kWidthCaption = "Pulse Width Entry Error";

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

CRefPulseDlg::CRefPulseDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "Reference Pulse Control";
    Add(MakeControl(IDC_ENABLE_GROUP, CtlKind::Group, "Enable"));
    Add(MakeControl(IDC_AFTER_WARMUP, CtlKind::Radio, "After Warm-Up", IDC_ENABLE_GROUP, 1));
    Add(MakeControl(IDC_ALWAYS, CtlKind::Radio, "Always", IDC_ENABLE_GROUP, 1)).m_bSameRow = true;
    Add(MakeControl(IDC_RATE_GROUP, CtlKind::Group, "Rate:"));
    Add(MakeControl(IDC_EVERY_SECOND, CtlKind::Radio, "1PPS   (Every Second)", IDC_RATE_GROUP, 2));
    Add(MakeControl(IDC_EVERY_TWO_SECONDS, CtlKind::Radio, "1PP2S (Every Even Second)", IDC_RATE_GROUP, 2));
    Add(MakeControl(IDC_POLARITY_GROUP, CtlKind::Group, "Polarity"));
    Add(MakeControl(IDC_NORMAL, CtlKind::Radio, "Normal (+Edge on-time)", IDC_POLARITY_GROUP, 3));
    Add(MakeControl(IDC_INVERTED, CtlKind::Radio, "Inverted (-Edge 0n-time)", IDC_POLARITY_GROUP, 3));
    Add(MakeControl(IDC_WIDTH_GROUP, CtlKind::Group, "Pulse Width"));
    Add(MakeControl(IDC_WIDTH_10, CtlKind::Radio, "10 ns", IDC_WIDTH_GROUP, 4));
    Add(MakeControl(IDC_WIDTH_20, CtlKind::Radio, "20 ns", IDC_WIDTH_GROUP, 4)).m_bSameRow = true;
    Add(MakeControl(IDC_WIDTH_USER, CtlKind::Radio, "User defiened", IDC_WIDTH_GROUP, 4));
    // Fields are named after the unit label beside them.
    CControl width = MakeControl(IDC_USER_WIDTH, CtlKind::Edit, "ms", IDC_WIDTH_GROUP, 0);
    width.m_nMaxLength = static_cast<int>(kWidthChars);
    Add(width);
    Add(MakeControl(IDC_OFFSET_GROUP, CtlKind::Group, "Offset"));
    CControl offset = MakeControl(IDC_OFFSET, CtlKind::Edit, "ns", IDC_OFFSET_GROUP, 0);
    offset.m_nMaxLength = static_cast<int>(kOffsetChars);
    Add(offset);
    CControl ok = MakeControl(IDOK_PULSE, CtlKind::Button, "OK");
    ok.m_role = ButtonRole::Ok;
    Add(ok);
    CControl cancel = MakeControl(IDCANCEL_PULSE, CtlKind::Button, "Cancel");
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
}

void CRefPulseDlg::ErrorBox(const char* text, const char* caption)
{
    m_context.Events().PlaySound(Sound::Hand);
    m_context.Events().MessageBox(Owner::Dialog, text, caption, Icon::Error);
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
