#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupMode(CProgram&) {}

}  // namespace velmor
