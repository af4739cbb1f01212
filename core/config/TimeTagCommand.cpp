#include "config/SetupCommands.h"

#include "app/Program.h"

namespace velmor {

void OnSetupTimeTag(CProgram&) {}

}  // namespace velmor
