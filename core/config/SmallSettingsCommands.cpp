#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupDacValue(CProgram&) {}
void OnSetupMaskAngle(CProgram&) {}
void OnSetupBeep(CProgram&) {}
void OnSetupTodType(CProgram&) {}

}  // namespace velmor
