#pragma once
// The platform the module's objects run on.
#include "platform/Platform.h"

namespace orvo {

// The system's platform, or simulated units in its place when
// ORVOTRAINER_SIMULATE asks for them.
Platform& ModulePlatform();

}  // namespace orvo
