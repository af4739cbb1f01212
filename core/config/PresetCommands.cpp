#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupQuickStart(CProgram&) {}
void OnSetupPreset1(CProgram&) {}
void OnSetupPreset2(CProgram&) {}

}  // namespace velmor
