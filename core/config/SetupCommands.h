#pragma once
// The Setup menu's command handlers, one per source file under config/.

namespace velmor {

class CProgram;

void OnSetupMode(CProgram& program);
void OnSetupAntennaDelay(CProgram& program);
void OnSetupAntennaPosition(CProgram& program);
void OnSetupRefPulse(CProgram& program);
void OnSetupRateOutput(CProgram& program);
void OnSetupEventTrigger(CProgram& program);
void OnSetupTimeTag(CProgram& program);
void OnSetupDacValue(CProgram& program);
void OnSetupMaskAngle(CProgram& program);
void OnSetupBeep(CProgram& program);
void OnSetupTodType(CProgram& program);
void OnSetupQuickStart(CProgram& program);
void OnSetupPreset1(CProgram& program);
void OnSetupPreset2(CProgram& program);
// View > Alarm Settings
void OnViewAlarmSettings(CProgram& program);
// Help > About
void OnAppAbout(CProgram& program);

}  // namespace velmor
