#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupAntennaDelay(CProgram&) {}
void OnSetupAntennaPosition(CProgram&) {}

}  // namespace velmor
