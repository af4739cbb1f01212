#include "alarms/AlarmSettings.h"
#include "app/Program.h"
#include "config/AlarmSettingsDlg.h"
#include "config/SetupCommands.h"

namespace velmor {

// View > Alarm Settings. The alarms read the program's settings at each
// decision, so the new limits hold from the next report on.
void OnViewAlarmSettings(CProgram& program)
{
    CAlarmSettingsDlg dialog(program.m_host, program.m_alarmSettings);
    if (!program.m_host.RunDialog(dialog)) return;
    program.m_alarmSettings = dialog.m_settings;
    SaveAlarmSettings(program.m_profile, program.m_alarmSettings);
}

}  // namespace velmor
