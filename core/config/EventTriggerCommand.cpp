#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupEventTrigger(CProgram&) {}

}  // namespace velmor
