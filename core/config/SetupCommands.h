#pragma once
// The Setup menu's command handlers, one per source file under config/.

namespace velmor {

class IConfigContext;

void OnSetupMode(IConfigContext& context);
void OnSetupAntennaDelay(IConfigContext& context);
void OnSetupAntennaPosition(IConfigContext& context);
void OnSetupRefPulse(IConfigContext& context);
void OnSetupRateOutput(IConfigContext& context);
void OnSetupEventTrigger(IConfigContext& context);
void OnSetupTimeTag(IConfigContext& context);
void OnSetupDacValue(IConfigContext& context);
void OnSetupMaskAngle(IConfigContext& context);
void OnSetupBeep(IConfigContext& context);
void OnSetupTodType(IConfigContext& context);
void OnSetupQuickStart(IConfigContext& context);
void OnSetupPreset1(IConfigContext& context);
void OnSetupPreset2(IConfigContext& context);
// View > Alarm Settings
void OnViewAlarmSettings(IConfigContext& context);
// Help > About
void OnAppAbout(IConfigContext& context);

}  // namespace velmor
