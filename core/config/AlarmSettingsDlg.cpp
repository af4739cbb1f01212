#include "config/AlarmSettingsDlg.h"

#include "platform/Host.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

// The check box texts, in AlarmCondition order.
constexpr const char* kNotifyTexts[kAlarmConditionCount] = {
    "Lock lost or regained", "Holdover started or ended", "Self-test failed or passed",
    "TFOM above or back", "1PPS difference beyond or back", "Temperature out or back",
    "Data stale or resumed", "Link lost or restored", "Unit identified again or restarted",
    "Polling paused or resumed",
};

// A whole number typed into a field: digits with an optional sign, blanks
// around allowed; anything else is refused rather than read as 0.
bool ParseWhole(const std::string& text, int& value)
{
    std::size_t begin = text.find_first_not_of(' ');
    std::size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos) return false;
    const std::string core = text.substr(begin, end - begin + 1);
    std::size_t digits = core[0] == '-' || core[0] == '+' ? 1 : 0;
    if (digits >= core.size() || core.size() > 7) return false;
    for (std::size_t i = digits; i < core.size(); ++i)
        if (core[i] < '0' || core[i] > '9') return false;
    value = AtoI(core);
    return true;
}

}  // namespace

CAlarmSettingsDlg::CAlarmSettingsDlg(ISessionEvents& host, const CAlarmSettings& settings)
    : m_settings(settings), m_host(host)
{
    m_strCaption = kCaption;
    Add(MakeControl(IDC_LIMITS, CtlKind::Group, "Limits:"));
    auto edit = [&](int id, const char* label, const char* unit) {
        CControl control = MakeControl(id, CtlKind::Edit, label, IDC_LIMITS);
        control.m_strUnit = unit;
        control.m_nMaxLength = 7;
        Add(control);
    };
    edit(IDC_TFOM, "TFOM above:", "");
    edit(IDC_PPS, "1PPS difference above:", "ns");
    edit(IDC_TEMP_LOW, "Temperature from:", "C");
    edit(IDC_TEMP_HIGH, "Temperature to:", "C");
    Add(MakeControl(IDC_NOTIFY_GROUP, CtlKind::Group, "Desktop notification for:"));
    for (int i = 0; i < kAlarmConditionCount; ++i)
        Add(MakeControl(IDC_NOTIFY_FIRST + i, CtlKind::Check, kNotifyTexts[i], IDC_NOTIFY_GROUP));
    Add(MakeControl(IDC_SOUND, CtlKind::Check, "Sound with each notification"));
    AddOkCancel(IDOK_ALARMS, IDCANCEL_ALARMS);
}

void CAlarmSettingsDlg::OnInitDialog()
{
    Ctl(IDC_TFOM).m_strValue = std::to_string(m_settings.m_nTfomLimit);
    Ctl(IDC_PPS).m_strValue = std::to_string(m_settings.m_nPpsLimitNs);
    Ctl(IDC_TEMP_LOW).m_strValue = std::to_string(m_settings.m_nTemperatureLow);
    Ctl(IDC_TEMP_HIGH).m_strValue = std::to_string(m_settings.m_nTemperatureHigh);
    for (int i = 0; i < kAlarmConditionCount; ++i)
        Check(IDC_NOTIFY_FIRST + i, m_settings.Notifies(static_cast<AlarmCondition>(i)));
    Check(IDC_SOUND, m_settings.m_bSound);
}

bool CAlarmSettingsDlg::Refuse(const char* text, int focusId)
{
    m_host.PlaySound(Sound::Hand);
    m_host.MessageBox(Owner::Dialog, text, kCaption, Icon::Error);
    Focus(focusId);
    return false;
}

bool CAlarmSettingsDlg::OnOK()
{
    CAlarmSettings edited = m_settings;
    if (!ParseWhole(Text(IDC_TFOM), edited.m_nTfomLimit) || edited.m_nTfomLimit < 0 || edited.m_nTfomLimit > 9)
        return Refuse("The TFOM limit is a digit from 0 to 9.", IDC_TFOM);
    if (!ParseWhole(Text(IDC_PPS), edited.m_nPpsLimitNs) || edited.m_nPpsLimitNs < 0)
        return Refuse("The 1PPS limit is a number of nanoseconds, 0 to leave it unwatched.", IDC_PPS);
    if (!ParseWhole(Text(IDC_TEMP_LOW), edited.m_nTemperatureLow))
        return Refuse("The lowest temperature is a whole number of degrees.", IDC_TEMP_LOW);
    if (!ParseWhole(Text(IDC_TEMP_HIGH), edited.m_nTemperatureHigh) ||
        edited.m_nTemperatureHigh <= edited.m_nTemperatureLow)
        return Refuse("The highest temperature is a whole number of degrees above the lowest.", IDC_TEMP_HIGH);
    for (int i = 0; i < kAlarmConditionCount; ++i)
        edited.SetNotify(static_cast<AlarmCondition>(i), IsChecked(IDC_NOTIFY_FIRST + i));
    edited.m_bSound = IsChecked(IDC_SOUND);
    m_settings = edited;
    return true;
}

}  // namespace velmor
