#include "settings/RecoverySettings.h"

namespace velmor {

bool LoadAutoRecover(const CProfile& profile) { return profile.GetInt("Recovery", "AutoRecover", 1) != 0; }

}  // namespace velmor
