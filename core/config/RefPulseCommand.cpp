#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupRefPulse(CProgram&) {}

}  // namespace velmor
