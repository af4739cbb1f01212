#pragma once
// "Alarm Settings": the limits the alarms watch and which of their events
// raise a desktop notification (and a sound).

#include "alarms/AlarmSettings.h"
#include "config/DialogModel.h"

namespace velmor {

class ISessionEvents;

class CAlarmSettingsDlg : public CDialogModel {
public:
    enum : int {
        IDC_LIMITS = 2600, IDC_TFOM, IDC_PPS, IDC_TEMP_LOW, IDC_TEMP_HIGH,
        IDC_NOTIFY_GROUP, IDC_NOTIFY_FIRST,
        IDC_SOUND = IDC_NOTIFY_FIRST + kAlarmConditionCount,
        IDOK_ALARMS, IDCANCEL_ALARMS
    };
    static constexpr const char* kCaption = "Alarm Settings";

    CAlarmSettingsDlg(ISessionEvents& host, const CAlarmSettings& settings);

    void OnInitDialog() override;
    bool OnOK() override;

    // The settings as the dialog holds them; the edited ones after OK.
    CAlarmSettings m_settings;

private:
    bool Refuse(const char* text, int focusId);
    ISessionEvents& m_host;
};

}  // namespace velmor
