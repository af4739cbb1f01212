#include "config/ModeDlg.h"

#include <climits>

#include "config/ConfigContext.h"
#include "config/ManualTimeDlg.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

// An integer field as the dialog reads it: blanks, an optional sign, at least
// one digit, blanks, nothing else. Values beyond the int range saturate.
bool ReadIntegerField(const std::string& text, int& value)
{
    std::size_t i = 0;
    auto blank = [&](std::size_t k) { return k < text.size() && (text[k] == ' ' || text[k] == '\t'); };
    while (blank(i)) ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digits) return false;
    const std::size_t end = i;
    while (blank(i)) ++i;
    if (i != text.size()) return false;
    value = AtoI(std::string_view(text).substr(start, end - start));
    return true;
}

}  // namespace

CModeDlg::CModeDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "Set Modes:";
    Add(MakeControl(IDC_GPS, CtlKind::Radio, "&GPS", 0, 1));
    Add(MakeControl(IDC_UTC, CtlKind::Radio, "&UTC", 0, 1));
    Add(MakeControl(IDC_LUTC, CtlKind::Radio, "&LUTC", 0, 1));
    Add(MakeControl(IDC_LGPS, CtlKind::Radio, "&LGPS", 0, 1));
    Add(MakeControl(IDC_MANUAL, CtlKind::Radio, "&Manual", 0, 1));

    CControl hours = MakeControl(IDC_HOURS, CtlKind::Edit, "Local Offset:");
    hours.m_strUnit = "hrs";
    Add(hours);
    CControl spin = MakeControl(IDC_HOURS_SPIN, CtlKind::Spin, "");
    spin.m_nSpinBuddy = IDC_HOURS;
    Add(spin);
    CControl minutes = MakeControl(IDC_MINUTES, CtlKind::Combo, "min");
    minutes.m_items = {"0", "30"};
    minutes.m_strUnit = "min";
    minutes.m_nUnitId = IDC_MIN_LABEL;
    Add(minutes);
    CControl minLabel = MakeControl(IDC_MIN_LABEL, CtlKind::Label, "min");
    minLabel.m_bVisible = false;
    Add(minLabel);

    // The position modes and the cold start form a second column beside
    // the time scales and their offset.
    Add(MakeControl(IDC_DYNAMIC, CtlKind::Radio, "&Dynamic", 0, 2)).m_nColumn = 1;
    Add(MakeControl(IDC_AVERAGING, CtlKind::Radio, "&Position Averaging", 0, 2)).m_nColumn = 1;
    Add(MakeControl(IDC_KNOWN, CtlKind::Radio, "&Known", 0, 2)).m_nColumn = 1;
    Add(MakeControl(IDC_COLD_START, CtlKind::Check, "&Cold Start")).m_nColumn = 1;

    CControl ok = MakeControl(IDOK_MODE, CtlKind::Button, "OK");
    ok.m_role = ButtonRole::Ok;
    Add(ok);
    CControl cancel = MakeControl(IDCANCEL_MODE, CtlKind::Button, "Cancel");
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
}

bool CModeDlg::HasMinutes() const
{
    return HasCapability(m_context.State().m_nReportedProductType, kHalfHourOffset);
}

int CModeDlg::Clamp(int hours) { return hours < kMinHours ? kMinHours : hours > kMaxHours ? kMaxHours : hours; }

void CModeDlg::ShowHours(int hours)
{
    m_strHours = std::to_string(hours);
    Ctl(IDC_HOURS).m_strValue = m_strHours;
}

void CModeDlg::EnableOffset(bool enable)
{
    Enable(IDC_HOURS, enable);
    Enable(IDC_HOURS_SPIN, enable);
    Enable(IDC_MINUTES, enable);
    Enable(IDC_MIN_LABEL, enable && HasMinutes());
}

void CModeDlg::OnInitDialog()
{
    const int textHours = AtoI(m_strHours);
    const int textMinutes = AtoI(m_strMinutes);
    switch (m_chTimeMode) {
    case '1': case 'G':
    case '2': case 'U':
        Check(m_chTimeMode == '1' || m_chTimeMode == 'G' ? IDC_GPS : IDC_UTC, true);
        EnableOffset(false);
        m_nHours = 0;
        m_nMinutes = 0;
        break;
    case '3': case 'u':
    case '4': case 'g':
        Check(m_chTimeMode == '3' || m_chTimeMode == 'u' ? IDC_LUTC : IDC_LGPS, true);
        EnableOffset(true);
        // At opening the list follows its label: types without minute
        // offsets get neither.
        Enable(IDC_MINUTES, HasMinutes());
        m_nHours = textHours;
        m_nMinutes = textMinutes;
        break;
    case '5': case 'M':
        Check(IDC_MANUAL, true);
        EnableOffset(false);
        m_nHours = textHours;
        m_nMinutes = textMinutes;
        break;
    default:
        break;
    }
    if (IsMirelleFamily(m_context.State().m_nReportedProductType)) {
        Enable(IDC_MANUAL, false);
        Enable(IDC_DYNAMIC, false);
    }
    m_nSpinPos = Clamp(m_nHours);
    Ctl(IDC_HOURS_SPIN).m_strValue = std::to_string(m_nSpinPos);
    Ctl(IDC_MINUTES).m_nSelection = HasMinutes() ? (m_nMinutes == 30 ? 1 : 0) : -1;
    ShowHours(m_nHours);
    switch (m_chPositionMode) {
    case 'D': Check(IDC_DYNAMIC, true); break;
    case 'K': Check(IDC_KNOWN, true); break;
    case 'P': case 'S': Check(IDC_AVERAGING, true); break;
    default: break;
    }
    if (m_bColdStart) Check(IDC_COLD_START, true);
    if (m_bCorrection) m_nFocusId = IDC_HOURS;
}

void CModeDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_GPS:
    case IDC_UTC:
        EnableOffset(false);
        break;
    case IDC_LGPS:
    case IDC_LUTC:
        EnableOffset(true);
        break;
    case IDC_MANUAL: {
        EnableOffset(false);
        Changed();
        CManualTimeDlg manual;
        if (m_context.Events().RunDialog(manual) && manual.m_strTime.size() > 1)
            m_context.SendCommand(Format("MANM,1,%s", manual.m_strTime.c_str()));
        break;
    }
    default:
        break;
    }
}

void CModeDlg::OnKillFocus(int id)
{
    if (id != IDC_HOURS) return;
    const int typed = AtoI(Text(IDC_HOURS));
    if (typed < kMinHours || typed > kMaxHours) {
        m_context.Events().PlaySound(Sound::Exclamation);
        m_context.Events().MessageBox(Owner::Dialog, Format("Value must between -14 to +14\r\nBad entry: %5d", typed),
                                    "Local Offset Entry Error!!", Icon::Error);
    }
    m_nSpinPos = Clamp(typed);
    Ctl(IDC_HOURS_SPIN).m_strValue = std::to_string(m_nSpinPos);
}

void CModeDlg::OnSpin(int id, int delta)
{
    if (id != IDC_HOURS_SPIN || delta == 0) return;
    // The arrows step from what the field shows, as a spin with a buddy does.
    const int base = Clamp(AtoI(Text(IDC_HOURS)));
    m_nSpinPos = Clamp(base + (delta > 0 ? 1 : -1));
    Ctl(IDC_HOURS_SPIN).m_strValue = std::to_string(m_nSpinPos);
    ShowHours(m_nSpinPos);
}

bool CModeDlg::OnOK()
{
    int hours = 0;
    if (!ReadIntegerField(Text(IDC_HOURS), hours)) {
        m_context.Events().PlaySound(Sound::Hand);
        m_context.Events().MessageBox(Owner::Dialog, "Please enter an integer.", kAppCaption, Icon::Error);
        Focus(IDC_HOURS);
        return false;
    }
    if (hours < kMinHours || hours > kMaxHours) {
        m_context.Events().PlaySound(Sound::Hand);
        m_context.Events().MessageBox(Owner::Dialog, "Please enter an integer between -14 and 14.", kAppCaption,
                                    Icon::Error);
        Focus(IDC_HOURS);
        return false;
    }
    m_strHours = Text(IDC_HOURS);
    m_nHours = hours;

    if (IsChecked(IDC_GPS) || IsChecked(IDC_UTC) || IsChecked(IDC_MANUAL)) {
        m_chTimeMode = IsChecked(IDC_GPS) ? '1' : IsChecked(IDC_UTC) ? '2' : 'M';
        m_nHours = 0;
        m_nMinutes = 0;
    } else if (IsChecked(IDC_LUTC) || IsChecked(IDC_LGPS)) {
        m_chTimeMode = IsChecked(IDC_LUTC) ? '3' : '4';
        const int selection = Ctl(IDC_MINUTES).m_nSelection;
        if (selection == 0) m_nMinutes = 0;
        else if (selection == 1) m_nMinutes = 30;
    }
    m_strMinutes = std::to_string(m_nMinutes);

    if (IsChecked(IDC_DYNAMIC)) m_chPositionMode = 'D';
    else if (IsChecked(IDC_AVERAGING)) m_chPositionMode = 'P';
    else if (IsChecked(IDC_KNOWN)) m_chPositionMode = 'K';

    if (IsChecked(IDC_COLD_START)) m_bColdStart = true;
    return true;
}

}  // namespace velmor
