#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupRateOutput(CProgram&) {}

}  // namespace velmor
