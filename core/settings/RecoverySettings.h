#pragma once
// Section "Recovery" of the settings file: whether the program restarts
// polling by itself when the unit falls silent ("AutoRecover", 1 by
// default). Nothing writes it; an operator who wants the old behaviour sets
// AutoRecover=0 by hand.

#include "settings/Profile.h"

namespace velmor {

bool LoadAutoRecover(const CProfile& profile);

}  // namespace velmor
