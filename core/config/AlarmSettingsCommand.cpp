#include "alarms/AlarmSettings.h"
#include "config/ConfigContext.h"
#include "config/AlarmSettingsDlg.h"
#include "config/SetupCommands.h"

namespace velmor {

// View > Alarm Settings. The alarms read the program's settings at each
// decision, so the new limits hold from the next report on.
void OnViewAlarmSettings(IConfigContext& context)
{
    CAlarmSettingsDlg dialog(context.Events(), context.AlarmSettings());
    if (!context.Events().RunDialog(dialog)) return;
    context.AlarmSettings() = dialog.m_settings;
    SaveAlarmSettings(context.Profile(), context.AlarmSettings());
}

}  // namespace velmor
